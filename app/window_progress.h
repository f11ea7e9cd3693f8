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
//
// The count label is as wide as the design makes it, which holds five
// digits; a total of more digits (an .xlsx sheet holds 1,048,576 records)
// widens it to the left, its right edge staying beside the slash, so that
// no count is cut short.
#pragma once

#include <QRect>
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

  // Number of count updates painted at once, and the time those paints
  // took (for tests and benchmarks).
  long painted() const { return painted_; }
  Clock::duration painting_time() const { return painting_time_; }

 private:
  QLabel& max_count_;
  QLabel& count_;
  QRect count_geometry_;  // as designed
  GuageLine& gauge_;
  Clock::duration interval_;
  std::string max_;
  std::string count_text_;
  bool count_pending_ = false;
  Clock::time_point last_paint_{};
  // Records between two looks at the clock, adapted to the pace of records.
  static constexpr long kMaxStride = 1024;
  long stride_ = 1;
  long until_check_ = 1;
  Clock::time_point last_check_{};
  bool painted_once_ = false;
  bool paint_gauge_ = false;
  long painted_ = 0;
  Clock::duration painting_time_{};
};

}  // namespace kestrin::app
