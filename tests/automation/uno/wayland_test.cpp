// The office on a Wayland display of the test's own with no X display: it
// starts with windows of its own rather than headless (its Qt back end on
// Qt's Wayland platform), showing a workbook puts its window on the Wayland
// display with the chosen sheet, and saving keeps the chosen sheet. The compositor (weston) draws
// into an X server of the test's own (Xvfb), from which it also takes its seat: a keyboard and a
// pointer, which the office's Wayland back end needs (weston's headless back end has none, and the
// office's clipboard then waits for ever). Only weston sees the X display. The office's Wayland
// messages (WAYLAND_DEBUG) go to its log, where the test reads the window it made.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "automation/failure.h"
#include "automation/uno/office_process.h"
#include "tests/support/office_harness.h"

namespace kestrin::automation::uno::testing {
namespace {

using ::testing::HasSubstr;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class WaylandTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<TempFolder>();
    const fs::path runtime = dir_->path() / "runtime";
    fs::create_directory(runtime);
    chmod(runtime.c_str(), 0700);
    std::string display;
    xvfb_ = StartTestXServer(dir_->path() / "xvfb.log", display);
    if (display.empty()) {
      error_ = "Xvfb did not start: " + LogTail(dir_->path() / "xvfb.log");
      return;
    }
    const std::string socket = "kestrin-wayland-test";
    compositor_ = std::make_unique<OfficeProcess>(
        "/usr/bin/weston",
        std::vector<std::string>{"--backend=x11-backend.so", "--socket=" + socket, "--idle-time=0",
                                 "--width=1200", "--height=900", "--no-config"},
        std::vector<std::string>{"DISPLAY=" + display, "XDG_RUNTIME_DIR=" + runtime.string(),
                                 "WAYLAND_DEBUG="},
        dir_->path() / "weston.log");
    for (int i = 0; i < 200 && !fs::exists(runtime / socket) && compositor_->Alive(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!fs::exists(runtime / socket)) {
      error_ = "weston did not start: " + LogTail(dir_->path() / "weston.log");
      return;
    }
    unsetenv("DISPLAY");
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("WAYLAND_DISPLAY", socket.c_str(), 1);
    // The office's clients log every Wayland request they send.
    setenv("WAYLAND_DEBUG", "client", 1);
    options_ = OwnOfficeOptions(dir_->path(), "wayland");
    options_.force_headless = false;
    server_ = MakeUnoXlServer(options_);
    try {
      app_ = server_->CreateObject();
    } catch (const AutomationError& e) {
      error_ = "The office did not start on Wayland: " + e.description();
    }
  }
  static void TearDownTestSuite() {
    QuitQuietly(app_);
    server_.reset();
    if (compositor_) compositor_->Kill();
    compositor_.reset();
    if (xvfb_) xvfb_->Kill();
    xvfb_.reset();
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("WAYLAND_DEBUG");
    unsetenv("XDG_RUNTIME_DIR");
    dir_.reset();
  }
  void SetUp() override {
    if (!error_.empty()) FAIL() << error_;
  }

  static fs::path OfficeLog() { return fs::path(options_.profile_dir) / "office.log"; }

  static inline std::unique_ptr<TempFolder> dir_;
  static inline std::string error_;
  static inline std::unique_ptr<OfficeProcess> xvfb_;
  static inline std::unique_ptr<OfficeProcess> compositor_;
  static inline UnoOptions options_;
  static inline std::unique_ptr<XlServer> server_;
  static inline std::shared_ptr<XlApplication> app_;
};

TEST_F(WaylandTest, TheOfficeShowsTheWorkbookInAWaylandWindow) {
  const fs::path path = dir_->path() / "wayland-shown.xls";
  MakeWorkbook(path, {{"First", {{"a"}}}, {"Second", {{"b"}}}});
  app_->WorkbooksOpen(path.string());
  app_->ActiveWorkbook()->Sheets()->Item("Second")->Activate();
  // Throws when the office runs headless, as it did without X.
  app_->SetVisible(true);
  const std::string title = "set_title(\"wayland-shown.xls - LibreOffice Calc\")";
  std::string log;
  for (int i = 0; i < 100 && log.find(title) == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    log = ReadAll(OfficeLog());
  }
  EXPECT_THAT(log, HasSubstr("xdg_toplevel"));
  EXPECT_THAT(log, HasSubstr(title));
  EXPECT_EQ(app_->ActiveSheet()->Name(), "Second");
  app_->ActiveWorkbook()->Close(false);
}

TEST_F(WaylandTest, ASavedWorkbookKeepsItsChosenSheet) {
  const fs::path path = dir_->path() / "wayland-saved.xls";
  MakeWorkbook(path, {{"First", {{"a"}}}, {"Second", {{"b"}}}, {"Third", {}}});
  app_->WorkbooksOpen(path.string());
  app_->ActiveWorkbook()->Sheets()->Item("Third")->Activate();
  app_->Goto("r2c2");
  app_->ActiveCell()->SetValue(Value(7));
  app_->ActiveWorkbook()->Save();
  app_->ActiveWorkbook()->Close(false);
  SavedBook saved(path);
  EXPECT_EQ(saved.ActiveSheetName(), "Third");
  EXPECT_EQ(saved.At("Third", "B2").number, 7);
}

}  // namespace
}  // namespace kestrin::automation::uno::testing
