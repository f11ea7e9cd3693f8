#include "app/desktop.h"

#include <QDesktopServices>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <cctype>

namespace kestrin::app {
namespace {

bool SameName(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// Screen-saver or screen-lock settings of the common desktops, each opening
// that page alone where the desktop can. XScreenSaver, used with many
// lighter desktops, comes last and belongs to none.
const std::vector<SettingsCommand>& KnownCommands() {
  static const std::vector<SettingsCommand> commands = {
      {"GNOME", "gnome-control-center", {"privacy"}},
      {"KDE", "kcmshell6", {"kcm_screenlocker"}},
      {"KDE", "kcmshell5", {"kcm_screenlocker"}},
      {"KDE", "systemsettings", {"kcm_screenlocker"}},
      {"XFCE", "xfce4-screensaver-preferences", {}},
      {"MATE", "mate-screensaver-preferences", {}},
      {"X-Cinnamon", "cinnamon-settings", {"screensaver"}},
      {"Budgie", "budgie-control-center", {"privacy"}},
      {"", "xscreensaver-settings", {}},
      {"", "xscreensaver-demo", {}},
  };
  return commands;
}

QStringList ToQt(const std::vector<std::string>& texts) {
  QStringList list;
  for (const auto& text : texts) list << QString::fromStdString(text);
  return list;
}

}  // namespace

std::vector<SettingsCommand> ScreenSaverSettingsCommands(const std::vector<std::string>& current) {
  const auto& known = KnownCommands();
  std::vector<SettingsCommand> ordered;
  std::vector<bool> taken(known.size(), false);
  for (const auto& name : current) {
    for (size_t i = 0; i < known.size(); ++i) {
      if (!taken[i] && !known[i].desktop.empty() && SameName(known[i].desktop, name)) {
        ordered.push_back(known[i]);
        taken[i] = true;
      }
    }
  }
  for (size_t i = 0; i < known.size(); ++i) {
    if (!taken[i]) ordered.push_back(known[i]);
  }
  return ordered;
}

bool OpenScreenSaverSettings(Desktop& desktop) {
  for (const auto& command : ScreenSaverSettingsCommands(desktop.CurrentDesktops())) {
    std::string path = desktop.FindProgram(command.program);
    if (!path.empty() && desktop.StartDetached(path, command.arguments)) return true;
  }
  return false;
}

bool QtDesktop::OpenFile(const std::string& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

bool QtDesktop::OpenUrl(const std::string& url) {
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode));
}

std::string QtDesktop::FindProgram(const std::string& name) {
  return QStandardPaths::findExecutable(QString::fromStdString(name)).toStdString();
}

bool QtDesktop::StartDetached(const std::string& program,
                              const std::vector<std::string>& arguments) {
  return QProcess::startDetached(QString::fromStdString(program), ToQt(arguments));
}

std::vector<std::string> QtDesktop::CurrentDesktops() {
  std::vector<std::string> names;
  const QString value =
      QProcessEnvironment::systemEnvironment().value(QStringLiteral("XDG_CURRENT_DESKTOP"));
  for (const auto& name : value.split(u':', Qt::SkipEmptyParts)) {
    names.push_back(name.trimmed().toStdString());
  }
  return names;
}

}  // namespace kestrin::app
