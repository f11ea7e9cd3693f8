// The three progress controls of the main window that the export engine
// updates record by record: the total (lblMaxCount), the count written so
// far (lblCount) and the right end X2 of the gauge line (linGuage, full
// length 2100 twips). Every setter repaints its control at once.
#pragma once

#include <string>

namespace kestrin::ui {

inline constexpr float kGaugeFullLength = 2100.0f;

class ProgressDisplay {
 public:
  ProgressDisplay() = default;
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;
  virtual ~ProgressDisplay() = default;

  virtual void SetMaxCountCaption(const std::string& caption) = 0;
  virtual void SetCountCaption(const std::string& caption) = 0;
  virtual void SetGaugeX2(float x2) = 0;
};

}  // namespace kestrin::ui
