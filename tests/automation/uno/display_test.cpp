// The office on an X display of the test's own (Xvfb): showing the workbook,
// and saving a hidden one without a window staying on screen.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "automation/failure.h"
#include "automation/uno/office_process.h"
#include "tests/support/office_harness.h"

namespace kestrin::automation::uno::testing {
namespace {

using ::testing::HasSubstr;

std::string Run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
  pclose(pipe);
  return out;
}

// Windows whose title contains `title` and that are on screen.
int ViewableWindows(const std::string& title) {
  int count = 0;
  std::string tree = Run("xwininfo -root -tree 2>/dev/null");
  size_t pos = 0;
  while ((pos = tree.find(title, pos)) != std::string::npos) {
    size_t line = tree.rfind('\n', pos) + 1;
    std::string id = tree.substr(line, tree.find(' ', tree.find_first_not_of(' ', line)) - line);
    id.erase(0, id.find_first_not_of(' '));
    std::string info = Run("xwininfo -id " + id + " 2>/dev/null");
    count += info.find("IsViewable") != std::string::npos;
    pos = tree.find('\n', pos);
  }
  return count;
}

class DisplayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!fs::exists("/usr/bin/Xvfb")) return;
    dir_ = std::make_unique<TempFolder>();
    xvfb_ = StartTestXServer(dir_->path() / "xvfb.log", display_);
    if (display_.empty() || !xvfb_->Alive()) {
      error_ = "Xvfb " + display_ + " did not start: " + LogTail(dir_->path() / "xvfb.log");
      return;
    }
    setenv("DISPLAY", display_.c_str(), 1);
    options_ = OwnOfficeOptions(dir_->path(), "display");
    options_.force_headless = false;
    server_ = MakeUnoXlServer(options_);
    try {
      app_ = server_->CreateObject();
    } catch (const AutomationError& e) {
      error_ = "The office did not start on " + display_ + ": " + e.description();
    }
  }
  static void TearDownTestSuite() {
    QuitQuietly(app_);
    server_.reset();
    if (xvfb_) xvfb_->Kill();
    xvfb_.reset();
    unsetenv("DISPLAY");
    dir_.reset();
  }
  void SetUp() override {
    if (!error_.empty()) FAIL() << error_;
    if (!app_) GTEST_SKIP() << "Xvfb is not installed";
  }

  fs::path Book(const std::string& stem) {
    fs::path path = dir_->path() / (stem + ".xls");
    MakeWorkbook(path, {{"First", {{"a"}}}, {"Second sheet", {{"b"}}}, {"Third", {}}});
    return path;
  }

  static inline std::unique_ptr<TempFolder> dir_;
  static inline std::string display_;
  static inline std::string error_;
  static inline std::unique_ptr<OfficeProcess> xvfb_;
  static inline UnoOptions options_;
  static inline std::unique_ptr<XlServer> server_;
  static inline std::shared_ptr<XlApplication> app_;
};

TEST_F(DisplayTest, SavingAHiddenWorkbookKeepsItsActiveSheetAndShowsNoWindow) {
  fs::path path = Book("hidden-save");
  app_->WorkbooksOpen(path.string());
  app_->ActiveWorkbook()->Sheets()->Item("Third")->Activate();
  app_->Goto("r2c2");
  app_->ActiveCell()->SetValue(Value(7));
  app_->ActiveWorkbook()->Save();
  EXPECT_EQ(ViewableWindows("hidden-save"), 0);
  EXPECT_EQ(app_->ActiveSheet()->Name(), "Third");
  app_->ActiveWorkbook()->Close(false);
  SavedBook saved(path);
  EXPECT_EQ(saved.ActiveSheetName(), "Third");
  EXPECT_EQ(saved.At("Third", "B2").number, 7);
}

TEST_F(DisplayTest, SetVisibleShowsTheWorkbookWithTheChosenSheetAndCell) {
  fs::path path = Book("shown");
  app_->WorkbooksOpen(path.string());
  app_->ActiveWorkbook()->Sheets()->Item("Second sheet")->Activate();
  app_->Goto("r4c3");
  app_->ActiveCell()->SetValue(Value("shown"));
  EXPECT_EQ(ViewableWindows("shown.xls - LibreOffice Calc"), 0);
  app_->SetVisible(true);
  int windows = 0;
  for (int i = 0; i < 50 && windows == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    windows = ViewableWindows("shown.xls - LibreOffice Calc");
  }
  EXPECT_EQ(windows, 1);
  EXPECT_EQ(app_->ActiveSheet()->Name(), "Second sheet");
  app_->Range("A1")->Select();
  app_->Goto("r4c3");
  auto border = app_->Selection()->Borders(xl::kEdgeTop);
  border->SetLineStyle(xl::kContinuous);
  app_->ActiveWorkbook()->Save();  // from the visible view, with a backup
  app_->ActiveWorkbook()->Close(false);
  SavedBook saved(path);
  EXPECT_EQ(saved.ActiveSheetName(), "Second sheet");
  EXPECT_EQ(saved.At("Second sheet", "C4").text, "shown");
  EXPECT_GT(saved.Lines("Second sheet", "C4")[1], 0);
}

}  // namespace
}  // namespace kestrin::automation::uno::testing
