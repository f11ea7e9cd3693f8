// The main window's controls as the tests reach them: by design name, which
// is each control's object name, and by kind. A name the window does not
// have (or a control of another kind) throws, so the test stops there.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QWidget>

#include <stdexcept>
#include <string>

#include "app/guage_line.h"
#include "app/option_pair.h"

namespace kestrin::testing {

template <class Control = QWidget>
Control* Find(const QWidget& window, const char* design_name) {
  for (QObject* object : window.findChildren<QObject*>(QString::fromUtf8(design_name))) {
    if (auto* control = dynamic_cast<Control*>(object)) return control;
  }
  throw std::logic_error(std::string("the window has no such control: ") + design_name);
}

inline QWidget* Widget(const QWidget& w, const char* name) { return Find<QWidget>(w, name); }
inline QLabel* Label(const QWidget& w, const char* name) { return Find<QLabel>(w, name); }
inline QLineEdit* Edit(const QWidget& w, const char* name) { return Find<QLineEdit>(w, name); }
inline QComboBox* Combo(const QWidget& w, const char* name) { return Find<QComboBox>(w, name); }
inline QPushButton* Button(const QWidget& w, const char* name) {
  return Find<QPushButton>(w, name);
}
inline QCheckBox* Check(const QWidget& w, const char* name) { return Find<QCheckBox>(w, name); }
inline app::OptionPair* Opt(const QWidget& w, const char* name) {
  return Find<app::OptionPair>(w, name);
}
inline app::GuageLine* Gauge(const QWidget& w) { return Find<app::GuageLine>(w, "linGuage"); }
inline QAction* Action(const QWidget& w, const char* name) { return Find<QAction>(w, name); }

}  // namespace kestrin::testing
