// Shared by the window tests of the file choices: Qt offscreen, and file
// dialogs answered by the test.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QStringList>

#include "ui/file_dialogs.h"

namespace kestrin::windowtest {

// Answers each dialog with the next queued path ("" for a cancel) and
// records what it was shown.
class AnsweredDialogs : public ui::FileDialogs {
 public:
  std::deque<std::string> answers;
  struct Shown {
    std::vector<ui::FileFilter> filters;
    std::string initial_dir, title;
  };
  std::vector<Shown> shown;

  std::string OpenFile(const std::vector<ui::FileFilter>& filters, const std::string& initial_dir,
                       const std::string& title) override;
  std::string SaveFile(const std::vector<ui::FileFilter>& filters, const std::string& initial_dir,
                       const std::string& title) override;
};

// The entries of a combo box in order.
QStringList Entries(const QComboBox& box);

}  // namespace kestrin::windowtest
