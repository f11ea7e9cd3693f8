// A message box that passes every message on and counts them, so that a
// caller can tell whether an operation had anything to say.
#pragma once

#include <string>

#include "ui/message_box.h"

namespace kestrin::ui {

class CountingMessageBox : public MessageBox {
 public:
  explicit CountingMessageBox(MessageBox& inner) : inner_(inner) {}
  void Show(const std::string& prompt, const std::string& title) override {
    ++shown;
    inner_.Show(prompt, title);
  }
  int shown = 0;

 private:
  MessageBox& inner_;
};

}  // namespace kestrin::ui
