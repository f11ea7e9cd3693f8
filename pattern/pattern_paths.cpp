#include "pattern/pattern_paths.h"

#include "automation/windows_paths.h"

namespace kestrin::pattern {

PatternFile LocatePatternFile(const std::string& stored) {
  PatternFile file;
  file.path = stored;
  std::string why;
  automation::StoredPathSearch search;
  try {
    search = automation::LocateStoredPath(stored);
  } catch (const automation::AutomationError& e) {
    // A mapping file in error: the path is looked for as stored only.
    search = automation::LocateStoredPath(stored, [] { return automation::WindowsPathMap(); });
    why = "\r\nWindows のパスの読み替え表を使えません: " + e.description();
  }
  if (!search.found.empty()) {
    file.found = true;
    file.path = search.found;
    return file;
  }
  file.message = "ファイル " + stored + " は見つかりません。";
  if (search.tried.size() > 1) {
    file.message += "\r\n探した場所:";
    for (std::size_t i = 1; i < search.tried.size(); ++i) file.message += " " + search.tried[i];
  }
  if (!search.unmapped_root.empty() && why.empty()) {
    file.message +=
        "\r\n" + search.unmapped_root + " をこのコンピューターのフォルダーに読み替える行が " +
        (search.map_file.empty() ? std::string("読み替え表") : search.map_file) + " にありません。";
  }
  file.message += why;
  return file;
}

}  // namespace kestrin::pattern
