// The systemd user unit that keeps the office ready: its command line starts
// an office on the program's pipe and profile, runs attach to it and leave
// it running, and it ends when stopped.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "automation/failure.h"
#include "automation/uno/office_process.h"
#include "tests/support/office_harness.h"

namespace kestrin::automation::uno::testing {
namespace {

using ::testing::HasSubstr;

// The office the unit's command started, ended however the test ends, as
// stopping the unit ends its processes.
struct Stopped {
  OfficeProcess& process;
  ~Stopped() { process.Kill(); }
};

// Attaches as an unattended run does, once the office answers.
std::shared_ptr<XlApplication> AttachWhenReady(const UnoOptions& options) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
  while (true) {
    try {
      return MakeUnoXlServer(options)->GetObject();
    } catch (const AutomationError&) {
      if (std::chrono::steady_clock::now() > deadline) throw;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  }
}

TEST(KeepOfficeTest, RunsAttachToTheOfficeTheUnitKeepsAndLeaveItRunning) {
  std::ifstream in(KESTRIN_SERVICE_IN);
  const std::string unit{std::istreambuf_iterator<char>(in), {}};
  ASSERT_THAT(unit, HasSubstr("\nExecStart=@KESTRIN_OFFICE_KEEPER@\n"));
  EXPECT_THAT(unit, HasSubstr("\nRestart=always\n"));

  // The unit's command line, on a pipe and profile of the test's own.
  TempFolder dir;
  const UnoOptions options = OwnOfficeOptions(dir.path(), "kept");
  OfficeProcess office(
      KESTRIN_OFFICE_KEEPER, {},
      {"KESTRIN_OFFICE_PIPE=" + options.pipe_name, "KESTRIN_OFFICE_PROFILE=" + options.profile_dir},
      dir.path() / "unit.log");
  Stopped stopped{office};

  const fs::path book = CopyWorkbook("WithChart.xls");
  {
    auto app = AttachWhenReady(options);
    app->WorkbooksOpen(book.string());
    app->Goto("r1c1");
    app->ActiveCell()->SetValue(Value("kept ready"));
    app->ActiveWorkbook()->Save();
    app->ActiveWorkbook()->Close(false);
    app->Quit();
  }
  // The run left the office running, as one it attached to; the next run
  // attaches to it again.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(office.Alive());
  EXPECT_GT(OfficePid(options.pipe_name), 0);
  MakeUnoXlServer(options)->GetObject()->Quit();
  EXPECT_TRUE(office.Alive());

  SavedBook saved(book);
  EXPECT_EQ(saved.At(saved.ActiveSheetName(), "A1").text, "kept ready");

  const pid_t proper = OfficePid(options.pipe_name);
  office.Kill();
  EXPECT_FALSE(office.Alive());
  EXPECT_TRUE(GoneWithin(proper, std::chrono::seconds(15)));
}

}  // namespace
}  // namespace kestrin::automation::uno::testing
