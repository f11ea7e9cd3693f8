// The program's message form on screen: a modal box with the prompt, the
// title, one OK button and no icon, over the main window.
#pragma once

#include "ui/message_box.h"

class QWidget;

namespace kestrin::app {

class QtMessageBox : public ui::MessageBox {
 public:
  // `parent` (may be null) is the window the box is modal to.
  explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  void Show(const std::string& prompt, const std::string& title) override;

 private:
  QWidget* parent_;
};

}  // namespace kestrin::app
