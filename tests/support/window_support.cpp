#include "tests/support/window_support.h"

#include <stdexcept>

#include <cstdlib>

namespace kestrin::windowtest {

std::string AnsweredDialogs::OpenFile(const std::vector<ui::FileFilter>& filters,
                                      const std::string& initial_dir, const std::string& title) {
  if (answers.empty()) throw std::logic_error("a dialog the test did not expect: " + title);
  shown.push_back({filters, initial_dir, title});
  std::string answer = answers.front();
  answers.pop_front();
  return answer;
}

std::string AnsweredDialogs::SaveFile(const std::vector<ui::FileFilter>& filters,
                                      const std::string& initial_dir, const std::string& title) {
  return OpenFile(filters, initial_dir, title);
}

QStringList Entries(const QComboBox& box) {
  QStringList entries;
  for (int i = 0; i < box.count(); ++i) entries << box.itemText(i);
  return entries;
}

}  // namespace kestrin::windowtest
