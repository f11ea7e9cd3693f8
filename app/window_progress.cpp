#include "app/window_progress.h"

#include <QLabel>

#include <algorithm>

#include "app/guage_line.h"

namespace kestrin::app {

WindowProgress::WindowProgress(QLabel& max_count, QLabel& count, GuageLine& gauge,
                               Clock::duration interval)
    : max_count_(max_count),
      count_(count),
      count_geometry_(count.geometry()),
      gauge_(gauge),
      interval_(interval) {}

void WindowProgress::SetMaxCountCaption(const std::string& caption) {
  max_ = caption;
  max_count_.setText(QString::fromStdString(caption));
  max_count_.repaint();
  // Every count has at most as many digits as the total.
  int digit = 0;
  for (char d = '0'; d <= '9'; ++d) {
    digit = std::max(digit, count_.fontMetrics().horizontalAdvance(QChar(d)));
  }
  const int needed =
      digit * static_cast<int>(caption.size()) + (count_.width() - count_.contentsRect().width());
  QRect wanted = count_geometry_;
  if (needed > wanted.width()) wanted.setLeft(wanted.right() + 1 - needed);
  if (count_.geometry() != wanted) count_.setGeometry(wanted);
}

void WindowProgress::SetCountCaption(const std::string& caption) {
  count_text_ = caption;
  const bool last = caption == max_;
  if (!last && painted_once_ && --until_check_ > 0) {
    count_pending_ = true;
    return;
  }
  const Clock::time_point now = Clock::now();
  if (last || !painted_once_ || now - last_paint_ >= interval_) {
    count_.setText(QString::fromStdString(caption));
    count_.repaint();
    painting_time_ += Clock::now() - now;
    count_pending_ = false;
    paint_gauge_ = true;
    painted_once_ = true;
    last_paint_ = now;
    ++painted_;
  } else {
    count_pending_ = true;
  }
  // Reading the clock costs more than a record of a fast source: look at it
  // less often while records come quickly, so that a check still falls
  // every few milliseconds.
  const Clock::duration since_check = now - last_check_;
  if (since_check < interval_ / 8 && stride_ < kMaxStride) {
    stride_ *= 2;
  } else if (since_check > interval_ / 4 && stride_ > 1) {
    stride_ /= 2;
  }
  last_check_ = now;
  until_check_ = stride_;
}

void WindowProgress::SetGaugeX2(float x2) {
  gauge_.SetX2(x2);
  if (paint_gauge_) {
    const Clock::time_point start = Clock::now();
    gauge_.repaint();
    painting_time_ += Clock::now() - start;
    paint_gauge_ = false;
  }
}

void WindowProgress::Flush() {
  if (count_pending_) count_.setText(QString::fromStdString(count_text_));
  count_pending_ = false;
  gauge_.update();
}

}  // namespace kestrin::app
