#include "app/guage_line.h"

#include <QPainter>

namespace kestrin::app {

namespace {
constexpr double kTwipsPerPixel = 15.0;
constexpr double kLineY = 60.0;  // twips from the top of the picture box
constexpr int kLineWidth = 10;   // pixels
}  // namespace

GuageLine::GuageLine(QWidget* parent) : QWidget(parent) {}

void GuageLine::paintEvent(QPaintEvent*) {
  const double end = x2_ / kTwipsPerPixel;
  if (end <= 0) return;
  QPainter painter(this);
  // Blue as the design gives it (&H00FF0000, blue in BGR order).
  painter.setPen(QPen(QColor(0, 0, 255), kLineWidth, Qt::SolidLine, Qt::FlatCap));
  const double y = kLineY / kTwipsPerPixel;
  painter.drawLine(QPointF(0, y), QPointF(end, y));
}

}  // namespace kestrin::app
