// What ends an unattended run from outside: Ctrl+C (SIGINT), SIGTERM and
// SIGHUP. The run's office would otherwise run on headless after it, with
// the lock files it keeps beside the workbook.
#pragma once

#include <memory>
#include <mutex>
#include <string>

namespace kestrin::app {

class InterruptWatch {
 public:
  // Blocks the three signals in this thread and every thread started after
  // it (make the watch before any other thread starts), and awaits them on
  // a thread of its own. On a signal that thread leaves every office of the
  // run (the office the run started is ended unless another run still uses
  // it), removes the lock file that office left beside the workbook in use,
  // writes one line to standard error and exits at once with 128 + the
  // signal's number (130, 143, 129).
  InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // The workbook the run has open now (empty: none).
  void SetWorkbook(const std::string& path);

 private:
  // Shared with the watching thread, which outlives the watch.
  struct InUse {
    std::mutex mutex;
    std::string workbook;
  };
  [[noreturn]] static void End(int signal, InUse& in_use);

  std::shared_ptr<InUse> in_use_ = std::make_shared<InUse>();
};

}  // namespace kestrin::app
