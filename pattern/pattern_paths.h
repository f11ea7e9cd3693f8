// The database and workbook a pattern file names, found on this machine.
//
// A pattern saved on Windows names its files by Windows paths
// (C:\Daten\Verkauf\sales.mdb); loading finds each one by the stored-path
// rule (automation/windows_paths.h): as stored, else through the user's
// mapping of Windows prefixes to folders. The pattern file itself is never
// changed; the settings take the path found here, so that saving the
// pattern afterwards writes that path.
#pragma once

#include <string>

namespace kestrin::pattern {

struct PatternFile {
  bool found = false;
  // The file here when found, else the path as stored.
  std::string path;
  // When not found: "ファイル <stored> は見つかりません。", then, on lines of
  // their own, the other places looked at and what kept the path from being
  // mapped (no mapping for its drive or share, a mapping file in error).
  std::string message;
};

PatternFile LocatePatternFile(const std::string& stored);

}  // namespace kestrin::pattern
