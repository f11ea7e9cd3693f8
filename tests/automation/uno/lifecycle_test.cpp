// Starting, attaching, quitting, and offices that crash or stop answering.
// Each test runs an office of its own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <fstream>
#include <thread>

#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>

#include "automation/failure.h"
#include "automation/uno/uno_runtime.h"
#include "tests/support/japanese_text.h"
#include "tests/support/office_harness.h"

namespace kestrin::automation::uno::testing {
namespace {

using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

// Number of documents open in the office on `pipe`.
int OpenDocuments(const std::string& pipe) {
  OfficeConnection connection(pipe, std::chrono::seconds(30));
  auto components = connection.Desktop()->getComponents()->createEnumeration();
  int n = 0;
  for (; components->hasMoreElements(); components->nextElement()) ++n;
  return n;
}

fs::path SmallBook() {
  fs::path path = NewPath("small", ".xls");
  MakeWorkbook(path, {{"Sheet1", {{"a", 1.0}}}, {"Sheet2", {}}});
  return path;
}

TEST(LifecycleTest, AttachingWithoutAnOfficeFailsAtOnce) {
  TempFolder dir;
  auto server = MakeUnoXlServer(OwnOfficeOptions(dir.path(), "none"));
  auto start = Clock::now();
  try {
    server->GetObject();
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_EQ(e.number(), 429);
    EXPECT_THAT(e.description(), HasSubstr("kestrin_test_none"));
  }
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
  // Where no office made the pipe, nobody is waited for: the retries meant
  // for a busy office (a second of them) would delay every start of one.
  start = Clock::now();
  EXPECT_THROW(server->GetObject(), AutomationError);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
}

TEST(LifecycleTest, AnOfficeThatCannotStartIsAClearError) {
  TempFolder dir;
  UnoOptions options = OwnOfficeOptions(dir.path(), "bad");
  options.office_program = (dir.path() / "no-such-office").string();
  try {
    MakeUnoXlServer(options)->CreateObject();
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_EQ(e.number(), 429);
    EXPECT_THAT(e.description(), HasSubstr("no-such-office"));
  }
  // A program that ends at once without answering.
  options.office_program = "/bin/false";
  try {
    MakeUnoXlServer(options)->CreateObject();
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_EQ(e.number(), 429);
    EXPECT_THAT(e.description(), HasSubstr("応答する前に終了しました"));
  }
}

// The office an export starts reads the settings its private profile was
// given: among them that this office version has run on the profile before.
// Without that it takes itself for newly upgraded at every start and runs its
// graphics self-test, seconds of processor time beside the export.
TEST(LifecycleTest, TheOfficeWeStartKnowsItHasRunOnItsProfileBefore) {
  const std::string product = "/org.openoffice.Setup/Product";
  const std::string version = OfficeSetting(product, "ooSetupVersion");
  ASSERT_FALSE(version.empty());
  EXPECT_EQ(OfficeSetting(product, "ooSetupLastVersion"), version);
}

TEST(LifecycleTest, QuitEndsAnOfficeWeStartedButNotOneWeAttachedTo) {
  TempFolder dir;
  UnoOptions options = OwnOfficeOptions(dir.path(), "quit");
  auto server = MakeUnoXlServer(options);
  OfficeCleanUp cleanup;
  auto started = cleanup.Keep(server->CreateObject());
  pid_t pid = OfficePid(options.pipe_name);
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(fs::exists(fs::path(options.profile_dir) / "office.log"));

  // A second program attaches, works and quits: the office stays.
  auto attached = MakeUnoXlServer(options)->GetObject();
  fs::path path = SmallBook();
  attached->WorkbooksOpen(path.string());
  attached->Goto("r3c3");
  attached->ActiveCell()->SetValue(Value("from the attached one"));
  attached->ActiveWorkbook()->Save();
  attached->Quit();
  EXPECT_FALSE(GoneWithin(pid, std::chrono::seconds(1)));
  EXPECT_EQ(OpenDocuments(options.pipe_name), 0);  // its hidden workbook went
  EXPECT_THROW(attached->ActiveSheet(), AutomationError);

  started->WorkbooksOpen(path.string());
  EXPECT_EQ(started->ActiveWorkbook()->Sheets()->Count(), 2);
  EXPECT_EQ(OpenDocuments(options.pipe_name), 1);
  started->Quit();
  EXPECT_TRUE(GoneWithin(pid, std::chrono::seconds(15)));
  EXPECT_THROW(server->GetObject(), AutomationError);
  EXPECT_THROW(started->ActiveWorkbook(), AutomationError);
}

TEST(LifecycleTest, ACrashedOfficeIsAnErrorAndAnotherCanBeStarted) {
  TempFolder dir;
  UnoOptions options = OwnOfficeOptions(dir.path(), "crash");
  auto server = MakeUnoXlServer(options);
  OfficeCleanUp cleanup;
  auto app = cleanup.Keep(server->CreateObject());
  app->WorkbooksOpen(SmallBook().string());
  app->Goto("r1c1");
  app->ActiveCell()->SetValue(Value("pending"));
  auto attached = MakeUnoXlServer(options)->GetObject();
  attached->WorkbooksOpen(SmallBook().string());
  pid_t pid = OfficePid(options.pipe_name);
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  ASSERT_TRUE(GoneWithin(pid, std::chrono::seconds(5)));
  auto start = Clock::now();
  try {
    app->ActiveWorkbook()->Save();
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_THAT(e.description(), HasSubstr("終了"));
  }
  EXPECT_THROW(app->ActiveSheet(), AutomationError);
  // A session that attached to it knows no process, only the lost bridge.
  try {
    attached->ActiveSheet();
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_EQ(e.number(), -2147417848);
    EXPECT_THAT(e.description(), HasSubstr("終了"));
  }
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));

  auto again = cleanup.Keep(server->CreateObject());
  again->WorkbooksOpen(SmallBook().string());
  EXPECT_EQ(again->ActiveSheet()->Name(), "Sheet1");
  again->Quit();
}

TEST(LifecycleTest, AnOfficeThatStopsAnsweringIsStoppedAtTheCallTimeLimit) {
  TempFolder dir;
  UnoOptions options = OwnOfficeOptions(dir.path(), "hang");
  options.call_timeout = std::chrono::seconds(3);
  auto server = MakeUnoXlServer(options);
  OfficeCleanUp cleanup;
  auto app = cleanup.Keep(server->CreateObject());
  app->WorkbooksOpen(SmallBook().string());
  pid_t pid = OfficePid(options.pipe_name);
  ASSERT_GT(pid, 0);
  cleanup.KillAtEnd(pid, options.pipe_name);
  ASSERT_EQ(kill(pid, SIGSTOP), 0);
  // Attaching to it fails at the limit instead of waiting for good. Started
  // with another profile, it is not an office of the attaching program's:
  // that one gives up and leaves it be.
  UnoOptions other = options;
  other.profile_dir = (dir.path() / "another-profile").string();
  other.attach_timeout = std::chrono::seconds(2);
  std::vector<std::string> notices;
  other.notice = [&](const std::string& line) { notices.push_back(line); };
  auto start = Clock::now();
  try {
    MakeUnoXlServer(other)->GetObject();
    kill(pid, SIGKILL);
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_EQ(e.number(), 429);
    EXPECT_THAT(e.description(), HasSubstr("2 秒以内に応答しませんでした"));
  }
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(8));
  EXPECT_TRUE(notices.empty());
  try {
    MakeUnoXlServer(other)->CreateObject();
    kill(pid, SIGKILL);
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_EQ(e.number(), 429);
  }
  EXPECT_FALSE(GoneWithin(pid, std::chrono::seconds(1)));
  start = Clock::now();
  try {
    app->ActiveSheet();
    kill(pid, SIGKILL);
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_THAT(e.description(), HasSubstr("3 秒以内に応答しなかった"));
  }
  auto took = Clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(2900));
  EXPECT_LT(took, std::chrono::seconds(10));
  EXPECT_TRUE(GoneWithin(pid, std::chrono::seconds(5)));
  EXPECT_THROW(app->Goto("r1c1"), AutomationError);

  auto again = cleanup.Keep(server->CreateObject());
  again->WorkbooksOpen(SmallBook().string());
  EXPECT_EQ(again->ActiveWorkbook()->Sheets()->Count(), 2);
  again->Quit();
}

}  // namespace
}  // namespace kestrin::automation::uno::testing
