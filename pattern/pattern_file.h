// Pattern files (.kst): the 24 export settings as key=value lines, so that a
// whole export can be repeated from the window or unattended.
//
// The format is shared with the Windows version of the program: exactly 24
// lines in the fixed order of kPatternKeys, each "key=value" ending in CR LF,
// in CP932 without a byte-order mark; integers in plain decimal. Files
// written here load there and the other way round.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "automation/failure.h"
#include "export/export_settings.h"

namespace kestrin::pattern {

// A pattern file that could not be written, read or applied. The number
// follows the runtime the format comes from (53 file not found, 70
// permission denied, 75 path/file access error, 13 type mismatch, 6
// overflow, 5 a text the format cannot hold, 321 a file that is no pattern
// file, 340 an option value that names no button); the description names
// the file, and for a read failure the line.
class PatternError : public automation::AutomationError {
 public:
  using AutomationError::AutomationError;
};

// The runtime's "Invalid file format": a file that is no pattern file at all.
inline constexpr std::int32_t kNotAPatternFile = 321;

enum class KeyKind { kText, kInteger };

struct PatternKey {
  const char* name;
  KeyKind kind;
  int width;  // characters of the value the reader keeps
};

// The keys in the order of a saved file, which is also the order in which
// the reader looks for them in a line.
inline constexpr std::array<PatternKey, 24> kPatternKeys{{
    {"FileMoto", KeyKind::kText, 100},  {"TblKbn", KeyKind::kInteger, 1},
    {"TblName", KeyKind::kText, 100},   {"FileSaki", KeyKind::kText, 100},
    {"ShtName", KeyKind::kText, 100},   {"StartRow", KeyKind::kInteger, 3},
    {"StartCol", KeyKind::kInteger, 3}, {"KaiGyo", KeyKind::kInteger, 2},
    {"OutGyo", KeyKind::kInteger, 10},  {"ClsGyo", KeyKind::kInteger, 10},
    {"Midasi", KeyKind::kInteger, 1},   {"Display", KeyKind::kInteger, 1},
    {"GridF", KeyKind::kInteger, 1},    {"Line", KeyKind::kInteger, 1},
    {"Filter", KeyKind::kInteger, 1},   {"FitRow", KeyKind::kInteger, 1},
    {"FitCol", KeyKind::kInteger, 1},   {"PivotF", KeyKind::kInteger, 1},
    {"PvtName", KeyKind::kText, 100},   {"PvtRow1", KeyKind::kText, 100},
    {"PvtRow2", KeyKind::kText, 100},   {"PvtCol1", KeyKind::kText, 100},
    {"PvtCol2", KeyKind::kText, 100},   {"PvtVal", KeyKind::kText, 100},
}};

inline constexpr const char* kPatternExtension = ".kst";

// The file a save under the chosen name writes: the name without a final
// ".kst" (any case), then ".kst" ("abc" and "abc.KST" give "abc.kst", "abc.txt"
// gives "abc.txt.kst"). Empty when nothing is left of the name.
std::string PatternSaveName(const std::string& chosen);

// The 24 lines of the settings in UTF-8, each ending in CR LF.
std::string PatternText(const exporting::ExportSettings& settings);

// Writes the settings to the pattern file at path, replacing any file there
// only once the new contents are completely on disk; on any failure the file
// at path is as it was and no other file is left behind. Throws PatternError:
// 5 when a text has no CP932 form or holds a line break (nothing is written;
// the description names the setting and the character), else the error of
// the file system.
void WritePatternFile(const std::string& path, const exporting::ExportSettings& settings);

// Reads the pattern file PatFile into the settings, line by line: a line
// (ending at CR, LF or CR LF) belongs to the first key in kPatternKeys whose
// name occurs anywhere in it; its value starts one character after the key,
// whatever that character is, keeps at most the key's width in characters
// and loses its outer spaces. Integer values are converted as the window's
// boxes are (TextToInt16). Lines without a key are ignored, a later line of a
// key wins, and a key the file lacks keeps its value.
//
// A file that is no pattern file is refused whole, before any setting
// changes (kNotAPatternFile): an empty file, a file in which no line names a
// setting, and a UTF-8 text (the description says how to convert it).
//
// Throws PatternError naming the file, and the line where it applies, when
// the file cannot be opened or read, a line is not valid CP932, or an
// integer value is empty, not a number or out of range. Reading stops there:
// the settings keep what the lines before it set.
void PatFileRead(const std::string& PatFile, exporting::ExportSettings& settings);

}  // namespace kestrin::pattern
