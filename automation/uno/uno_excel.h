// The spreadsheet application of automation/excel.h, played by LibreOffice
// Calc driven out of process over UNO.
//
// GetObject() attaches to an office that listens on the program's own pipe;
// CreateObject() starts a private office (own pipe, own profile) and ends it
// again on Quit(). Both give up on an office that does not answer within the
// attach time limit (and end it when it is ours), and refuse a pipe whose
// socket belongs to another user. Workbooks are loaded hidden; one that an
// office of another user or host holds open (its lock file says so) is
// refused before anything is written. Every failure, including an
// office that crashed, vanished or stopped answering within the call time
// limit, is thrown as AutomationError; a later GetObject()/CreateObject()
// works again after such a failure.
//
// Cell values written through Goto + ActiveCell()->SetValue are kept locally
// and sent to the office in rectangular blocks before any other call reaches
// it, so the workbook ends up exactly as if each cell had been written on its
// own (including the selection resting on the last written cell).
//
// This header includes no UNO header; callers above the automation seam use
// only the interfaces of automation/excel.h.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/excel.h"

namespace kestrin::automation::uno {

// How one fit of columns went.
struct ColumnFitReport {
  int columns = 0;           // columns fitted
  int measured_plainly = 0;  // of those, fitted by measuring every cell
  long written_cells = 0;    // cells the program wrote into those columns
  long chosen_cells = 0;     // of those, the ones measured
};

struct UnoOptions {
  // Pipe the office listens on. Empty: "kestrin_office_<uid>".
  std::string pipe_name;
  // Folder for the private office's profile and its log file. Empty:
  // $XDG_CACHE_HOME/kestrin/office-profile, else ~/.cache/kestrin/office-profile.
  std::string profile_dir;
  // Folder receiving a copy of each workbook before it is first saved over.
  // Empty: $XDG_CACHE_HOME/kestrin/backups, else ~/.cache/kestrin/backups.
  std::string backup_dir;
  // The office launcher. Empty: soffice of the office's program folder.
  std::string office_program;
  // How long attaching waits for an office on the pipe to answer. One that
  // does not, and that is ours (started with this pipe and this profile),
  // is ended so that a fresh one can start; another one is let be.
  std::chrono::milliseconds attach_timeout{5'000};
  // An office of ours younger than this that does not answer may be one that
  // another run of the program is still starting: it is not ended.
  std::chrono::milliseconds settle_time{60'000};
  // Receives the one line that says an office of ours was ended that way.
  // Empty: the line goes to standard error.
  std::function<void(const std::string&)> notice;
  // How long CreateObject() waits for a started office to answer.
  std::chrono::milliseconds start_timeout{60'000};
  // Longest a single call into the office may take before the office is
  // taken for hung: a private office is then killed, an attached one let go.
  std::chrono::milliseconds call_timeout{120'000};
  // Send written cells to the office in blocks (true) or one by one.
  bool batch_cells = true;
  // Most cells sent to the office in one transfer: written cells wait until
  // this many have come (and their row is complete), and a larger block is
  // sent in bands of whole rows. Bounds the memory a table of any size takes.
  int max_cells_per_transfer = 1 << 17;
  // Most written cells kept (about 40 bytes each, more for long texts) for
  // fitting columns by measuring only the cells that can be widest; when
  // more are written into one sheet, none are kept and the fit measures
  // every cell (same widths, slower).
  int max_cells_kept_for_fit = 1 << 21;
  // Fit column widths by measuring only the cells that can be widest (true)
  // or every cell, as the office does on its own; the widths are the same.
  bool fast_column_fit = true;
  // Told after every fit of columns how it went (tests, benchmarks).
  std::function<void(const ColumnFitReport&)> on_column_fit;
  // Never show a window even when a display is available (--headless).
  bool force_headless = false;
};

// Default pipe name of this user: "kestrin_office_<uid>".
std::string DefaultPipeName();

std::unique_ptr<XlServer> MakeUnoXlServer(const UnoOptions& options);

// How CreateObject() starts the private office for `options` (pipe,
// profile, program): the launcher, its arguments, what it adds to the
// environment ("NAME=value") and its log file. `windows` are the entries
// that show its windows on the display (office_display.h); nullopt starts
// it headless. The profile folder is made
// and given the program's settings. Throws AutomationError 429 when the
// folder cannot be made.
struct OfficeLaunch {
  std::string program;
  std::vector<std::string> args;
  std::vector<std::string> env;
  std::filesystem::path log;
};
OfficeLaunch PrepareOfficeLaunch(const UnoOptions& options,
                                 const std::optional<std::vector<std::string>>& windows);

}  // namespace kestrin::automation::uno
