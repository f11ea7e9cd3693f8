// The progress gauge: a blue line 10 pixels wide that starts at the left
// edge of its picture box and ends at X2 (twips, full length 2100). Only X2
// changes; the picture box clips whatever lies beyond it.
#pragma once

#include <QWidget>

namespace kestrin::app {

class GuageLine : public QWidget {
 public:
  explicit GuageLine(QWidget* parent = nullptr);

  float X2() const { return x2_; }
  // Sets the end point; the caller decides when the line is repainted.
  void SetX2(float x2) { x2_ = x2; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  float x2_ = 0;
};

}  // namespace kestrin::app
