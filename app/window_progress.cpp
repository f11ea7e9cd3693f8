#include "app/window_progress.h"

#include <QLabel>

#include "app/guage_line.h"

namespace kestrin::app {

WindowProgress::WindowProgress(QLabel& max_count, QLabel& count, GuageLine& gauge,
                               Clock::duration interval)
    : max_count_(max_count), count_(count), gauge_(gauge), interval_(interval) {}

void WindowProgress::SetMaxCountCaption(const std::string& caption) {
  max_ = caption;
  max_count_.setText(QString::fromStdString(caption));
  max_count_.repaint();
}

void WindowProgress::SetCountCaption(const std::string& caption) {
  count_text_ = caption;
  const Clock::time_point now = Clock::now();
  if (caption == max_ || !painted_once_ || now - last_paint_ >= interval_) {
    count_.setText(QString::fromStdString(caption));
    count_.repaint();
    count_pending_ = false;
    paint_gauge_ = true;
    painted_once_ = true;
    last_paint_ = now;
    ++painted_;
  } else {
    count_pending_ = true;
  }
}

void WindowProgress::SetGaugeX2(float x2) {
  gauge_.SetX2(x2);
  if (paint_gauge_) {
    gauge_.repaint();
    paint_gauge_ = false;
  }
}

void WindowProgress::Flush() {
  if (count_pending_) count_.setText(QString::fromStdString(count_text_));
  count_pending_ = false;
  gauge_.update();
}

}  // namespace kestrin::app
