// The desktop seam: which screen-saver settings program is tried when, and
// the Qt implementation's detached starts and desktop names.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/desktop.h"
#include "tests/doubles/recording_desktop.h"

namespace kestrin::app {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::RecordingDesktop;
using testing::StartedProgram;

std::vector<std::string> Programs(const std::vector<SettingsCommand>& commands) {
  std::vector<std::string> programs;
  for (const auto& c : commands) programs.push_back(c.program);
  return programs;
}

TEST(ScreenSaverSettingsCommandsTest, RunningDesktopComesFirstThenTheRestInFixedOrder) {
  auto fixed = Programs(ScreenSaverSettingsCommands({}));
  ASSERT_EQ(fixed.front(), "gnome-control-center");
  ASSERT_EQ(fixed.back(), "xscreensaver-demo");

  auto kde = Programs(ScreenSaverSettingsCommands({"KDE"}));
  ASSERT_EQ(kde.size(), fixed.size());
  EXPECT_THAT(std::vector(kde.begin(), kde.begin() + 4),
              ElementsAre("kcmshell6", "kcmshell5", "systemsettings", "gnome-control-center"));

  // Names compare without case; the first named desktop wins; unknown names
  // and the desktop-less XScreenSaver entries change nothing.
  auto mixed = Programs(ScreenSaverSettingsCommands({"ubuntu", "x-cinnamon", "gnome"}));
  EXPECT_EQ(mixed[0], "cinnamon-settings");
  EXPECT_EQ(mixed[1], "gnome-control-center");
  EXPECT_EQ(mixed.size(), fixed.size());
  EXPECT_EQ(Programs(ScreenSaverSettingsCommands({"", "Unknown"})), fixed);
}

TEST(OpenScreenSaverSettingsTest, StartsTheFirstInstalledProgramByItsFullPath) {
  RecordingDesktop desktop;
  desktop.current = {"MATE"};
  desktop.installed = {{"gnome-control-center", "/usr/bin/gnome-control-center"},
                       {"mate-screensaver-preferences", "/opt/mate/bin/mate-ssp"}};
  EXPECT_TRUE(OpenScreenSaverSettings(desktop));
  EXPECT_THAT(desktop.started, ElementsAre(StartedProgram{"/opt/mate/bin/mate-ssp", {}}));

  RecordingDesktop gnome;
  gnome.installed = {{"gnome-control-center", "/usr/bin/gnome-control-center"}};
  EXPECT_TRUE(OpenScreenSaverSettings(gnome));
  EXPECT_THAT(gnome.started,
              ElementsAre(StartedProgram{"/usr/bin/gnome-control-center", {"privacy"}}));
  EXPECT_THAT(gnome.opened_files, IsEmpty());
  EXPECT_THAT(gnome.opened_urls, IsEmpty());
}

TEST(OpenScreenSaverSettingsTest, GoesOnPastAProgramThatFailsAndGivesUpQuietly) {
  RecordingDesktop desktop;
  desktop.current = {"KDE"};
  desktop.installed = {{"kcmshell6", "/usr/bin/kcmshell6"},
                       {"xscreensaver-settings", "/usr/bin/xscreensaver-settings"}};
  desktop.refuses_to_start = {"/usr/bin/kcmshell6"};
  EXPECT_TRUE(OpenScreenSaverSettings(desktop));
  EXPECT_THAT(desktop.started,
              ElementsAre(StartedProgram{"/usr/bin/kcmshell6", {"kcm_screenlocker"}},
                          StartedProgram{"/usr/bin/xscreensaver-settings", {}}));

  desktop.started.clear();
  desktop.refuses_to_start.insert("/usr/bin/xscreensaver-settings");
  EXPECT_FALSE(OpenScreenSaverSettings(desktop));
  EXPECT_EQ(desktop.started.size(), 2u);

  RecordingDesktop bare;
  EXPECT_FALSE(OpenScreenSaverSettings(bare));
  EXPECT_THAT(bare.started, IsEmpty());
  EXPECT_EQ(bare.looked_up, Programs(ScreenSaverSettingsCommands({})));
}

TEST(QtDesktopTest, StartsDetachedWithEachArgumentAsItIsNeverThroughAShell) {
  QtDesktop desktop;
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  std::string touch = desktop.FindProgram("touch");
  ASSERT_FALSE(touch.empty());
  EXPECT_TRUE(desktop.FindProgram("kestrin-no-such-program").empty());

  namespace fs = std::filesystem;
  const fs::path base = dir.path().toStdString();
  const std::string odd = "a b; touch injected $(touch injected2) 'q' \"r\" * 日本語.txt";
  ASSERT_TRUE(desktop.StartDetached(touch, {(base / odd).string(), (base / "second").string()}));
  for (int i = 0; i < 200 && !fs::exists(base / "second"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(fs::exists(base / odd));
  EXPECT_TRUE(fs::exists(base / "second"));
  EXPECT_FALSE(fs::exists(base / "injected"));
  EXPECT_FALSE(fs::exists(fs::current_path() / "injected"));
  EXPECT_FALSE(fs::exists(fs::current_path() / "injected2"));
  EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 2);

  EXPECT_FALSE(desktop.StartDetached((base / "missing-program").string(), {}));
}

TEST(QtDesktopTest, ReadsTheRunningDesktopsInOrder) {
  QtDesktop desktop;
  const char* saved = std::getenv("XDG_CURRENT_DESKTOP");
  std::string restore = saved ? saved : "";
  setenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME", 1);
  EXPECT_THAT(desktop.CurrentDesktops(), ElementsAre("ubuntu", "GNOME"));
  setenv("XDG_CURRENT_DESKTOP", "", 1);
  EXPECT_THAT(desktop.CurrentDesktops(), IsEmpty());
  if (saved) {
    setenv("XDG_CURRENT_DESKTOP", restore.c_str(), 1);
  } else {
    unsetenv("XDG_CURRENT_DESKTOP");
  }
}

}  // namespace
}  // namespace kestrin::app
