// What the program asks of the user's desktop: open a file with the program
// the desktop associates with its type, open an address (a mailto: or a web
// address) in the user's mail program or browser, and start a program
// detached from this one. The window and the About box use it for the help,
// screen-saver and contact commands; tests replace it with a recording
// double. Nothing here waits for the started program or goes through a shell.
#pragma once

#include <string>
#include <vector>

namespace kestrin::app {

class Desktop {
 public:
  Desktop() = default;
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;
  virtual ~Desktop() = default;

  // Hands the local file at `path` to the desktop's "open" action and returns
  // at once. Returns false when the desktop could not hand it to any program;
  // a missing file is the opened program's business, not a failure here.
  virtual bool OpenFile(const std::string& path) = 0;

  // Hands `url` (mailto:…, https://…) to the desktop's mail program or
  // browser and returns at once. Returns false when no program took it.
  virtual bool OpenUrl(const std::string& url) = 0;

  // Full path of the executable `name` on the search path, or "" when there
  // is none.
  virtual std::string FindProgram(const std::string& name) = 0;

  // Starts `program` with exactly the arguments `arguments` (each one
  // argument, never split or interpreted by a shell), detached: it outlives
  // this program and is not waited for. Returns false when it could not be
  // started.
  virtual bool StartDetached(const std::string& program,
                             const std::vector<std::string>& arguments) = 0;

  // The names of the running desktop session, most specific first (as in
  // XDG_CURRENT_DESKTOP, e.g. {"ubuntu", "GNOME"}); empty when unknown.
  virtual std::vector<std::string> CurrentDesktops() = 0;
};

// One way to open a desktop's screen-saver or screen-lock settings.
struct SettingsCommand {
  std::string desktop;  // the desktop it belongs to, as XDG_CURRENT_DESKTOP names it
  std::string program;
  std::vector<std::string> arguments;
  friend bool operator==(const SettingsCommand&, const SettingsCommand&) = default;
};

// The known screen-saver and screen-lock settings commands, those of the
// running desktops (`current`, compared without regard to case) first in
// the order of `current`, then the others in a fixed order.
std::vector<SettingsCommand> ScreenSaverSettingsCommands(const std::vector<std::string>& current);

// Starts the first of ScreenSaverSettingsCommands that is installed and
// starts. Returns false, having shown nothing, when none could be started.
bool OpenScreenSaverSettings(Desktop& desktop);

// The desktop of a Qt application: QDesktopServices for files and addresses,
// QProcess for detached starts. Needs a QGuiApplication.
class QtDesktop final : public Desktop {
 public:
  bool OpenFile(const std::string& path) override;
  bool OpenUrl(const std::string& url) override;
  std::string FindProgram(const std::string& name) override;
  bool StartDetached(const std::string& program,
                     const std::vector<std::string>& arguments) override;
  std::vector<std::string> CurrentDesktops() override;
};

}  // namespace kestrin::app
