#include "app/option_pair.h"

#include <QButtonGroup>
#include <QRadioButton>

#include "app/make_child.h"

namespace kestrin::app {

OptionPair::OptionPair(QRadioButton* index0, QRadioButton* index1) : buttons_{index0, index1} {
  auto* group = MakeChild<QButtonGroup>(this);
  group->addButton(index0, 0);
  group->addButton(index1, 1);
  group->setExclusive(true);
  QObject::connect(group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked && !selecting_ && handler_) handler_(static_cast<std::int16_t>(id));
  });
}

std::int16_t OptionPair::Value() const {
  if (buttons_[1]->isChecked()) return 1;
  if (buttons_[0]->isChecked()) return 0;
  return -1;
}

void OptionPair::Select(std::int16_t index) {
  selecting_ = true;
  buttons_.at(index)->setChecked(true);
  selecting_ = false;
  if (handler_) handler_(index);
}

void OptionPair::OnClick(std::function<void(std::int16_t)> handler) {
  handler_ = std::move(handler);
}

}  // namespace kestrin::app
