#include "app/interrupt.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "automation/uno/office_lock.h"
#include "automation/uno/office_share.h"
#include "ui/message_box.h"

namespace kestrin::app {
namespace {

sigset_t EndingSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

const char* SignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    default:
      return "SIGHUP";
  }
}

}  // namespace

InterruptWatch::InterruptWatch() {
  const sigset_t set = EndingSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([in_use = in_use_, set] {
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
    End(signal, *in_use);
  }).detach();
}

void InterruptWatch::SetWorkbook(const std::string& path) {
  std::lock_guard<std::mutex> lock(in_use_->mutex);
  in_use_->workbook = path;
}

void InterruptWatch::End(int signal, InUse& in_use) {
  // The run says nothing more: its next line waits for the exit, so that a
  // request failing under the ended office is not told as a fault.
  flockfile(stdout);
  flockfile(stderr);
  const std::vector<std::string> ended =
      automation::uno::OfficeShare::LeaveAllOnInterrupt(std::chrono::seconds(5));
  std::string workbook;
  {
    std::lock_guard<std::mutex> lock(in_use.mutex);
    workbook = in_use.workbook;
  }
  if (!workbook.empty()) {
    // The lock file of an office just ended, and of no other office.
    const auto held = automation::uno::ReadOfficeLock(workbook);
    for (const std::string& installation : ended) {
      if (held && automation::uno::TakenByUs(*held) && held->profile_url == installation) {
        std::error_code ignored;
        std::filesystem::remove(automation::uno::LockFilePath(workbook), ignored);
      }
    }
  }
  const std::string line = ConsoleLine(
      std::string(SignalName(signal)) + " を受けたため、出力を中断しました。", ui::kTitle);
  std::fprintf(stderr, "%s%s\n", isatty(STDERR_FILENO) == 1 ? "\n" : "", line.c_str());
  std::fflush(stderr);
  std::_Exit(128 + signal);
}

}  // namespace kestrin::app
