// Runs sharing one office: one run at a time has the turn, and the office a
// run wants ended is ended by the last run to leave it. Each OfficeShare
// here stands for a run (its locks are its own, as a process's would be);
// a sleeping child process stands for the office.
#include "automation/uno/office_share.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "automation/failure.h"
#include "automation/uno/office_process.h"
#include "tests/support/temp_folder.h"

extern char** environ;

namespace kestrin::automation::uno {
namespace {
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Wish = OfficeShare::Wish;

class OfficeShareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // An argument no other process has marks the stand-in office.
    mark_ = "600." + std::to_string(getpid());
    std::string program = "sleep";
    char* argv[] = {program.data(), mark_.data(), nullptr};
    ASSERT_EQ(posix_spawnp(&office_, "sleep", nullptr, nullptr, argv, environ), 0);
    // The child may not have become `sleep` yet when posix_spawnp returns;
    // until it has, it does not carry the mark a run looks for.
    for (int i = 0; i < 500 && !Carries(office_, mark_); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(Carries(office_, mark_));
  }
  static bool Carries(pid_t pid, const std::string& mark) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline");
    const std::string cmdline((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    return cmdline.find(mark) != std::string::npos;
  }
  void TearDown() override {
    kill(office_, SIGKILL);
    waitpid(office_, nullptr, 0);
  }

  // A run that attached to the office, or (`started`) started it.
  std::unique_ptr<OfficeShare> Run(bool started) {
    auto run = OfficeShare::TakeTurn(OfficeShareFile(dir_), {mark_}, 1s);
    if (started) run->Started(office_);
    run->Join();
    run->EndTurn();
    return run;
  }
  // Leaves; ending the office ends the stand-in.
  bool Leave(OfficeShare& run, Wish wish) {
    return run.Leave(
        wish, [&] { kill(office_, SIGTERM); }, 1s);
  }

  ::kestrin::testing::TempFolder folder_;
  fs::path dir_ = folder_.path();
  std::string mark_;
  pid_t office_ = -1;
};

TEST_F(OfficeShareTest, TheLastRunToLeaveEndsTheOfficeTheRunThatStartedItWantedEnded) {
  auto started = Run(true);
  auto second = Run(false);
  auto third = Run(false);
  EXPECT_FALSE(Leave(*started, Wish::kEnd));  // the others still use it
  EXPECT_FALSE(Leave(*second, Wish::kNone));
  EXPECT_EQ(kill(office_, 0), 0);
  EXPECT_TRUE(Leave(*third, Wish::kNone));
  EXPECT_TRUE(WaitGone({office_}, 5s));
}

TEST_F(OfficeShareTest, AnOfficeShownToTheUserOrAlreadyGoneIsNotEnded) {
  // A run that leaves a workbook on screen keeps the office for the user.
  auto started = Run(true);
  auto showing = Run(false);
  auto last = Run(false);
  EXPECT_FALSE(Leave(*started, Wish::kEnd));
  EXPECT_FALSE(Leave(*showing, Wish::kKeep));
  EXPECT_FALSE(Leave(*last, Wish::kNone));
  EXPECT_EQ(kill(office_, 0), 0);

  // The office a run wanted ended has gone (and another may run): the last
  // run leaves whatever runs alone.
  started = Run(true);
  last = Run(false);
  EXPECT_FALSE(Leave(*started, Wish::kEnd));
  kill(office_, SIGKILL);
  waitpid(office_, nullptr, 0);
  EXPECT_FALSE(Leave(*last, Wish::kNone));
}

TEST_F(OfficeShareTest, OneRunAtATimeStartsAttachesOrLeaves) {
  auto starting = OfficeShare::TakeTurn(OfficeShareFile(dir_), {mark_}, 1s);
  EXPECT_THROW(OfficeShare::TakeTurn(OfficeShareFile(dir_), {mark_}, 200ms), AutomationError);
  starting->Started(office_);
  starting->Join();
  starting->EndTurn();
  // Once the office answers, the next run attaches, and a run alone ends
  // the office it wants ended at once.
  auto attached = Run(false);
  EXPECT_FALSE(Leave(*attached, Wish::kNone));
  EXPECT_TRUE(Leave(*starting, Wish::kEnd));
  EXPECT_TRUE(WaitGone({office_}, 5s));
}

}  // namespace
}  // namespace kestrin::automation::uno
