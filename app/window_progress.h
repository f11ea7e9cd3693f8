// The export engine's progress display on the window's controls: the total
// (lblMaxCount), the count (lblCount) and the gauge (linGuage).
//
// The engine updates the count and the gauge after every record while the
// program does not return to the event loop, so each shown update is
// painted at once. Painting every one of tens of thousands of records
// would cost more than the export itself; an update is therefore painted
// only when at least `interval` has passed since the last painted one, and
// always for the last record (the count reaching the total), so the screen
// never lags by more than one frame and always ends on the true figures.
// Between painted updates the controls are not touched at all; Flush()
// brings them up to date after a run that ended before its last record.
#pragma once

#include <QString>

#include <chrono>
#include <string>

#include "ui/progress.h"

class QLabel;

namespace kestrin::app {

class GuageLine;

class WindowProgress : public ui::ProgressDisplay {
 public:
  using Clock = std::chrono::steady_clock;

  WindowProgress(QLabel& max_count, QLabel& count, GuageLine& gauge,
                 Clock::duration interval = std::chrono::milliseconds(16));

  void SetMaxCountCaption(const std::string& caption) override;
  void SetCountCaption(const std::string& caption) override;
  void SetGaugeX2(float x2) override;

  // Puts the latest count and gauge into the controls (painted with the
  // next event loop pass).
  void Flush();

  // Number of count updates painted at once (for tests and benchmarks).
  long painted() const { return painted_; }

 private:
  QLabel& max_count_;
  QLabel& count_;
  GuageLine& gauge_;
  Clock::duration interval_;
  std::string max_;
  std::string count_text_;
  bool count_pending_ = false;
  Clock::time_point last_paint_{};
  bool painted_once_ = false;
  bool paint_gauge_ = false;
  long painted_ = 0;
};

}  // namespace kestrin::app
