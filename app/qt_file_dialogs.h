// The file dialogs of the window: Qt's file dialog, modal over the main
// window, with the caller's filter pairs, initial directory and title.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QFileDialog>
#include <QString>

#include "ui/file_dialogs.h"

namespace kestrin::app {

// One filter pair as the dialog shows it: the description as given when it
// already ends in its pattern in parentheses ("Access(*.mdb)"), else the
// description followed by the patterns in parentheses. Patterns separated
// by ';' are offered together, and shown separated by blanks
// ("Access(*.mdb;*.accdb)" reads "Access(*.mdb *.accdb)").
QString NameFilter(const ui::FileFilter& filter);

// The dialog as OpenFile (save: false) or SaveFile (save: true) shows it,
// not yet shown: the filters in order with the first selected, opening in
// initial_dir. The open form accepts only an existing file; the save form
// asks nothing when the file exists and adds no extension.
std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* owner, bool save,
                                            const std::vector<ui::FileFilter>& filters,
                                            const std::string& initial_dir,
                                            const std::string& title);

class QtFileDialogs : public ui::FileDialogs {
 public:
  // owner: the main window; it must outlive this object.
  explicit QtFileDialogs(QWidget* owner) : owner_(owner) {}

  std::string OpenFile(const std::vector<ui::FileFilter>& filters, const std::string& initial_dir,
                       const std::string& title) override;
  std::string SaveFile(const std::vector<ui::FileFilter>& filters, const std::string& initial_dir,
                       const std::string& title) override;

 private:
  std::string Run(bool save, const std::vector<ui::FileFilter>& filters,
                  const std::string& initial_dir, const std::string& title);
  QWidget* owner_;
};

}  // namespace kestrin::app
