#include "app/window_progress.h"

#include <QLabel>

#include "app/guage_line.h"

namespace kestrin::app {

WindowProgress::WindowProgress(QLabel& max_count, QLabel& count, GuageLine& gauge,
                               Clock::duration interval)
    : max_count_(max_count), count_(count), gauge_(gauge), interval_(interval) {}

void WindowProgress::SetMaxCountCaption(const std::string& caption) {
  max_count_.setText(QString::fromStdString(caption));
  max_count_.repaint();
}

void WindowProgress::SetCountCaption(const std::string& caption) {
  const QString text = QString::fromStdString(caption);
  count_.setText(text);
  const Clock::time_point now = Clock::now();
  const bool last = text == max_count_.text();
  if (last || !painted_once_ || now - last_paint_ >= interval_) {
    count_.repaint();
    paint_gauge_ = true;
    painted_once_ = true;
    last_paint_ = now;
    ++painted_;
  }
}

void WindowProgress::SetGaugeX2(float x2) {
  gauge_.SetX2(x2);
  if (paint_gauge_) {
    gauge_.repaint();
    paint_gauge_ = false;
  } else {
    gauge_.update();
  }
}

}  // namespace kestrin::app
