// The program's command line and what an unattended run shows on a console.
//
//   kestrin                        the window
//   kestrin [--batch] [-q] a.kst ...  one unattended export per pattern file
//   kestrin --help | --version
//
// Without a display (no DISPLAY or WAYLAND_DISPLAY, or Qt's offscreen
// platform) or with --batch, an unattended run is a batch run: every message
// is one line prefixed with its title, nothing waits for a click, and
// progress is drawn on standard error only when it is a terminal. As cron
// users expect, the line of an export that completed goes to standard
// output and every fault to standard error; -q (--quiet) leaves only the
// faults.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/uno/uno_excel.h"
#include "ui/message_box.h"
#include "ui/progress.h"

namespace kestrin::app {

// Exit statuses of the program.
inline constexpr int kExitExported = 0;     // every export wrote its records
inline constexpr int kExitNotExported = 1;  // a check refused it or it ended in the error report
inline constexpr int kExitBadInput = 2;     // a pattern file unreadable, or wrong arguments

struct CommandLine {
  enum class Action { kWindow, kRun, kHelp, kVersion, kWrongArguments };
  Action action = Action::kWindow;
  std::vector<std::string> patterns;  // kRun: the pattern paths, in order
  bool batch = false;                 // --batch was given
  bool quiet = false;                 // -q or --quiet was given
  std::string error;                  // kWrongArguments: what is wrong
};

// Reads the arguments after the program name. A pattern path is taken as it
// stands, except that an argument that begins and ends with a double quote
// loses those two characters (as a Windows command line passes it).
// Arguments of blanks only are ignored; "--" ends the options.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The usage screen of --help, and what --version prints in the GNU form:
// "kestrin 0.1", then the copyright line and the licence line.
std::string UsageText();
std::string VersionText();

// Reads one environment variable; empty when unset.
using Environment = std::function<std::string(const char* name)>;
Environment ProcessEnvironment();

// True when nothing can be shown: the batch option, no display, or Qt's
// offscreen platform.
bool IsBatchRun(bool batch_option, const Environment& env);

// The office the program uses: its default pipe and profile, unless
// KESTRIN_OFFICE_PIPE and KESTRIN_OFFICE_PROFILE name others (for tests and
// for users who keep a second office of their own).
automation::uno::UnoOptions OfficeOptions(const Environment& env);

// Progress of a batch run: records written of the total on one line of the
// console, rewritten in place at most four times a second (and once more at
// the last record). Draws nothing unless `draw` (standard error is a
// terminal). Remembers the last captions either way.
class ConsoleProgress : public ui::ProgressDisplay {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  ConsoleProgress(std::FILE* out, bool draw, Clock clock = std::chrono::steady_clock::now);

  void SetMaxCountCaption(const std::string& caption) override;
  void SetCountCaption(const std::string& caption) override;
  void SetGaugeX2(float) override {}

  // Ends a drawn progress line, so the next output starts on a line of its
  // own.
  void EndLine();
  // True once the count shown has reached the total.
  bool ReachedTotal() const { return !total_.empty() && count_ == total_; }
  // Forgets the captions, for the next export.
  void Reset();

 private:
  void Draw();

  std::FILE* out_;
  bool draw_;
  Clock clock_;
  std::string total_, count_;
  bool line_open_ = false;
  std::chrono::steady_clock::time_point last_draw_{};
};

// Messages of a batch run: "<title>: <prompt>" on one line of the console;
// the line breaks of a prompt become blanks. Returns at once.
class ConsoleMessageBox : public ui::MessageBox {
 public:
  ConsoleMessageBox(std::FILE* out, ConsoleProgress* progress) : out_(out), progress_(progress) {}
  void Show(const std::string& prompt, const std::string& title) override;

 private:
  std::FILE* out_;
  ConsoleProgress* progress_;
};

// One line of a batch run's console: the title, ": ", the prompt with its
// line breaks made blanks.
std::string ConsoleLine(const std::string& prompt, const std::string& title);

}  // namespace kestrin::app
