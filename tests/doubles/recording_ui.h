// Stand-ins for the user: a message box that records what it was asked to
// show, and progress controls that record every update.
#pragma once

#include <string>
#include <vector>

#include "ui/message_box.h"
#include "ui/progress.h"

namespace kestrin::testing {

struct ShownMessage {
  std::string prompt;
  std::string title;
  friend bool operator==(const ShownMessage&, const ShownMessage&) = default;
};

class RecordingMessageBox : public ui::MessageBox {
 public:
  void Show(const std::string& prompt, const std::string& title) override {
    shown.push_back({prompt, title});
  }
  std::vector<ShownMessage> shown;
};

class RecordingProgress : public ui::ProgressDisplay {
 public:
  void SetMaxCountCaption(const std::string& caption) override { max_count = caption; }
  void SetCountCaption(const std::string& caption) override {
    count = caption;
    ++count_updates;
  }
  void SetGaugeX2(float x2) override { gauge.push_back(x2); }
  std::string max_count;
  std::string count;
  int count_updates = 0;
  std::vector<float> gauge;
};

}  // namespace kestrin::testing
