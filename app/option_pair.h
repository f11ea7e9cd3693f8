// A pair of option buttons with indexes 0 and 1 whose selected index is the
// value of one setting. Selecting a button, by the user or by the program,
// runs the pair's click handler with the new index, nested inside the code
// that made the selection.
#pragma once

#include <QObject>
#include <QRadioButton>

#include <array>
#include <cstdint>
#include <functional>

namespace kestrin::app {

class OptionPair : public QObject {
 public:
  // The two buttons must already exist; they become exclusive to each other.
  OptionPair(QRadioButton* index0, QRadioButton* index1);

  // The index of the selected button; -1 while neither is selected.
  std::int16_t Value() const;
  // Selects button `index` (0 or 1) and runs the handler with it, also when
  // that button was already selected.
  void Select(std::int16_t index);
  QRadioButton* Button(int index) const { return buttons_.at(index); }

  // The handler the user's and the program's selections run. Set once.
  void OnClick(std::function<void(std::int16_t)> handler);

 private:
  std::array<QRadioButton*, 2> buttons_;
  std::function<void(std::int16_t)> handler_;
  bool selecting_ = false;
};

}  // namespace kestrin::app
