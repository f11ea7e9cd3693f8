// The keyboard of the main window: the tab order of its controls and the
// Enter key that moves to the next of them (Form_KeyPress).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <vector>

#include "app/frm_kestrin.h"
#include "app/make_child.h"
#include "app/option_pair.h"

namespace kestrin::app {
namespace {

// Sees every key typed into the window before the focused control does
// (the window's KeyPreview) and hands the characters to Form_KeyPress.
class KeyPreviewFilter : public QObject {
 public:
  explicit KeyPreviewFilter(FrmKestrin& window) : window_(window) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || !window_.KeyPreview) return false;
    // A key travels from the focused control up through its parents; it is
    // previewed once, on its way to the control.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != &window_) return false;
    QWidget* focus = QApplication::focusWidget();
    if (focus != nullptr ? widget != focus : widget != &window_) return false;
    const QString text = static_cast<QKeyEvent*>(event)->text();
    if (text.isEmpty()) return false;  // no character: not a key press for the window
    auto key_ascii = static_cast<std::int16_t>(text.at(0).unicode());
    window_.Form_KeyPress(key_ascii);
    return false;
  }

 private:
  FrmKestrin& window_;
};

}  // namespace

std::vector<FrmKestrin::TabStop> FrmKestrin::TabOrder() const {
  std::vector<const Control*> stops;
  for (const Control& c : controls_) {
    if (c.tab > 0) stops.push_back(&c);
  }
  std::sort(stops.begin(), stops.end(),
            [](const Control* a, const Control* b) { return a->tab < b->tab; });
  std::vector<TabStop> order;
  for (const Control* c : stops) {
    if (const auto* pair = dynamic_cast<const OptionPair*>(c->object)) {
      order.emplace_back(pair->Button(0), pair->Button(1));
    } else {
      order.emplace_back(qobject_cast<QWidget*>(c->object), nullptr);
    }
  }
  return order;
}

void FrmKestrin::ConnectKeys() {
  QWidget* previous = nullptr;
  for (const TabStop& stop : TabOrder()) {
    for (QWidget* widget : {stop.first, stop.second}) {
      if (widget == nullptr) continue;
      if (previous != nullptr) setTabOrder(previous, widget);
      previous = widget;
    }
  }
  // Enter reaches the focused control, and an editable list box would take
  // it as "add the typed text to the list": the lists hold only what the
  // database and the workbook offer.
  for (QComboBox* box : findChildren<QComboBox*>()) box->setInsertPolicy(QComboBox::NoInsert);
  qApp->installEventFilter(MakeChild<KeyPreviewFilter>(this, *this));
}

void FrmKestrin::Form_KeyPress(std::int16_t& KeyAscii) {
  if (KeyAscii != 13) return;
  // As a Tab typed after the Enter: the focused control handles the Enter
  // first, then the focus moves on.
  QMetaObject::invokeMethod(
      this, [this] { MoveFocusToNextStop(); }, Qt::QueuedConnection);
}

QWidget* FrmKestrin::NextTabStop(const QWidget* from) const {
  const std::vector<TabStop> order = TabOrder();
  auto reachable = [this](QWidget* w) {
    return w != nullptr && w->isEnabled() && w->isVisibleTo(this) &&
           (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
  };
  int current = -1;
  for (int i = 0; i < static_cast<int>(order.size()) && from != nullptr; ++i) {
    for (const QWidget* w : {order[i].first, order[i].second}) {
      if (w != nullptr && (w == from || w->isAncestorOf(from))) current = i;
    }
  }
  const int count = static_cast<int>(order.size());
  for (int step = 1; step <= count; ++step) {
    const TabStop& stop = order[(current + step + count) % count];
    // An option pair is entered at its selected button.
    QWidget* first = stop.first;
    QWidget* second = stop.second;
    if (second != nullptr && static_cast<QRadioButton*>(second)->isChecked()) {
      std::swap(first, second);
    }
    if (reachable(first)) return first;
    if (reachable(second)) return second;
  }
  return nullptr;
}

void FrmKestrin::MoveFocusToNextStop() {
  QWidget* focus = QApplication::focusWidget();
  if (focus != nullptr && focus->window() != this) return;
  if (QWidget* next = NextTabStop(focus)) next->setFocus(Qt::TabFocusReason);
}

}  // namespace kestrin::app
