// Choosing a file: the open and save dialogs behind one small interface.
//
// The window supplies the real dialogs (owned by the main window); tests
// answer them. FileOpenDlg and FileSaveDlg are what callers use: they show
// the dialog and, when a file was chosen, make its folder the process's
// current directory, so that the next dialog, of either kind, opens there.
#pragma once

#include <string>
#include <vector>

namespace kestrin::ui {

// One description/pattern pair, e.g. {"Access(*.mdb)", "*.mdb"}. Several
// patterns in one pair are separated by ';'.
struct FileFilter {
  std::string description;
  std::string pattern;
};

// The last pair of the choosing dialogs: every file, whatever its name.
FileFilter AllFilesFilter();

class FileDialogs {
 public:
  FileDialogs() = default;
  FileDialogs(const FileDialogs&) = delete;
  FileDialogs& operator=(const FileDialogs&) = delete;
  virtual ~FileDialogs() = default;

  // Shows the open dialog modally over the owner, opening in initial_dir,
  // with every pair of filters offered in order and the first one selected.
  // Only an existing file can be chosen. Returns its full path, or the empty
  // text when the user cancelled or the dialog failed.
  virtual std::string OpenFile(const std::vector<FileFilter>& filters,
                               const std::string& initial_dir, const std::string& title) = 0;
  // The same for the save dialog: any name in an existing folder may be
  // chosen; no question is asked when the file exists and no extension is
  // added to the name the user typed.
  virtual std::string SaveFile(const std::vector<FileFilter>& filters,
                               const std::string& initial_dir, const std::string& title) = 0;
};

// The process's current directory, or the empty text when it cannot be read.
std::string CurrentDirectory();

// Shows the open (save) dialog and returns the chosen path or the empty text.
// After a choice the folder of the chosen file is the current directory.
std::string FileOpenDlg(FileDialogs& dialogs, const std::vector<FileFilter>& filters,
                        const std::string& initial_dir, const std::string& title);
std::string FileSaveDlg(FileDialogs& dialogs, const std::vector<FileFilter>& filters,
                        const std::string& initial_dir, const std::string& title);

}  // namespace kestrin::ui
