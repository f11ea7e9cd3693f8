// Where a file named by a path stored on Windows lives on this machine.
//
// Files made on Windows name other files by their Windows paths: a linked
// table its back-end (Z:\Daten\backend.accdb), a saved query the database of
// its IN clause, a pattern file its database and workbook
// (C:\Daten\Verkauf\sales.mdb, \\fs01\共有\umsatz.xls). One rule finds such a
// file here, for every reader of a stored path:
//   1. the path as stored, when an ordinary file is there;
//   2. else the path rewritten by the user's mapping of Windows prefixes
//      (a drive letter or a \\server\share name, with or without folders
//      below it) to folders of this machine;
//   3. else, where the caller asks for it (a linked table's back-end), a
//      file of the same name in a folder the caller names (the front-end's).
// Windows paths match without regard to letter case, as on Windows: the
// prefix of a mapping, and each folder and file name below it.
//
// The mapping is a UTF-8 text file, one mapping a line, a Windows prefix,
// "=", then an absolute folder here:
//     C:\Daten = /srv/daten
//     Z: = /mnt/z
//     \\fs01\共有 = /mnt/share
// "/" may stand for "\" on the left; blank lines and lines starting with
// "#" are ignored; the longest matching prefix wins. The file is the one
// $KESTRIN_WINDOWS_PATHS names, else $XDG_CONFIG_HOME/kestrin/windows-paths,
// else ~/.config/kestrin/windows-paths. It is read whenever a stored path is
// not found as it is, so a change applies at once; a line that maps nothing
// is an error naming the file and the line, never skipped.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/failure.h"

namespace kestrin::automation {

// The environment variable that names another mapping file.
inline constexpr const char* kWindowsPathsVariable = "KESTRIN_WINDOWS_PATHS";

// A mapping file that cannot be read, or a line of it that maps nothing.
// The description names the file, and the line where one is at fault.
class PathMapError : public AutomationError {
 public:
  explicit PathMapError(std::string description);
};

class WindowsPathMap {
 public:
  struct Entry {
    std::string prefix;  // as written, "\" for "/"
    std::string folder;  // absolute, without a trailing "/"
    int line = 0;
  };

  // Maps nothing; file() is empty.
  WindowsPathMap() = default;
  // The mappings of `text`, the contents of the mapping file `file`. Throws
  // PathMapError naming the file and the line: a line without "=", a left
  // side that is no drive letter or \\server\share name, a folder that is
  // not absolute, a prefix mapped twice, text that is not UTF-8.
  static WindowsPathMap Parse(std::string_view text, const std::string& file);
  // The user's mapping file (see above). A default file that does not exist
  // maps nothing; a file that the variable names must exist. Throws
  // PathMapError as Parse does, or when the file cannot be read.
  static WindowsPathMap Load();

  const std::string& file() const { return file_; }
  const std::vector<Entry>& entries() const { return entries_; }

  // The path here of a Windows path, by the longest prefix that matches it
  // without regard to case; the part below the prefix is kept as written,
  // "\" turned into "/". Nothing when the path is no Windows path (drive
  // letter or \\server\share) or no prefix matches it.
  std::optional<std::string> Rewrite(std::string_view windows_path) const;

 private:
  std::string file_;
  std::vector<Entry> entries_;
};

// The mapping file of this user: the variable's file when it is set and not
// empty, else the default one. Throws AutomationError when there is no home
// folder to find the default under.
std::string WindowsPathsFile();

// The root of a Windows path: "C:" or "\\server\share" (as written, "\" for
// "/"); empty for any other path.
std::string WindowsRoot(std::string_view path);

struct StoredPathSearch {
  std::string found;               // the file here; empty when none was found
  std::vector<std::string> tried;  // the places looked at, in order, stored path first
  // For a Windows path that no mapping covers: its root ("Z:"), and the
  // mapping file that could have covered it.
  std::string unmapped_root;
  std::string map_file;
};

// Finds the file a stored path names by the rule above; `beside`, when not
// empty, is the folder of step 3. `map` is asked for the mapping only when
// the stored path is not found as it is, and its failures (PathMapError)
// pass to the caller.
StoredPathSearch LocateStoredPath(const std::string& stored,
                                  const std::function<WindowsPathMap()>& map,
                                  const std::string& beside = {});
// The same with the user's mapping file (WindowsPathMap::Load).
StoredPathSearch LocateStoredPath(const std::string& stored, const std::string& beside = {});

}  // namespace kestrin::automation
