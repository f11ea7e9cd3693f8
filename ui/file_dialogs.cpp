#include "ui/file_dialogs.h"

#include <filesystem>
#include <system_error>

namespace kestrin::ui {
namespace {

// The folder of a chosen file becomes the current directory; a folder that
// cannot be entered leaves the current directory as it was.
std::string Chosen(std::string path) {
  if (!path.empty()) {
    std::error_code ec;
    const auto folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::current_path(folder, ec);
  }
  return path;
}

}  // namespace

FileFilter AllFilesFilter() { return {"すべてのファイル(*)", "*"}; }

std::string CurrentDirectory() {
  std::error_code ec;
  auto dir = std::filesystem::current_path(ec);
  return ec ? std::string() : dir.string();
}

std::string FileOpenDlg(FileDialogs& dialogs, const std::vector<FileFilter>& filters,
                        const std::string& initial_dir, const std::string& title) {
  return Chosen(dialogs.OpenFile(filters, initial_dir, title));
}

std::string FileSaveDlg(FileDialogs& dialogs, const std::vector<FileFilter>& filters,
                        const std::string& initial_dir, const std::string& title) {
  return Chosen(dialogs.SaveFile(filters, initial_dir, title));
}

}  // namespace kestrin::ui
