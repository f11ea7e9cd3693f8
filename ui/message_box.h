// Modal messages to the user: a prompt, a title, one OK button, no icon.
// The window shows a real box; the unattended run and tests stand in for it.
#pragma once

#include <string>

#include "ui/version.h"

namespace kestrin::ui {

// Titles of the program's message boxes.
inline constexpr const char* kTitle = "Kestrin Ver " KESTRIN_VERSION;
// Short title of the missing-file messages and the empty-source message.
inline constexpr const char* kShortTitle = "Kestrin";

class MessageBox {
 public:
  MessageBox() = default;
  MessageBox(const MessageBox&) = delete;
  MessageBox& operator=(const MessageBox&) = delete;
  virtual ~MessageBox() = default;

  // Shows the prompt and returns once the user has pressed OK.
  virtual void Show(const std::string& prompt, const std::string& title) = 0;
};

}  // namespace kestrin::ui
