// The export settings: every choice that shapes one export, under the names
// of the pattern-file keys. The window shows them in its controls, pattern
// files save and load them, and the unattended run fills them from a file;
// all three share this one shape.
//
// Option settings (TblKbn, Midasi, Display, GridF, Line, Filter, FitRow,
// FitCol, PivotF) follow their buttons at every click. The others are a
// snapshot of the window's boxes, taken by CollectSettings and by pattern
// loading. A flag counts as on only when it is exactly 1.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace kestrin::exporting {

struct ExportSettings {
  std::string FileMoto;       // source database path
  std::int16_t TblKbn = 0;    // 0 table, 1 query
  std::string TblName;        // table or query to export
  std::string FileSaki;       // destination workbook path
  std::string ShtName;        // destination sheet
  std::int16_t StartRow = 0;  // sheet row of the first written row, from 1
  std::int16_t StartCol = 0;  // sheet column of the first field, 1 = A
  std::int16_t KaiGyo = 0;    // row step between records
  std::int16_t OutGyo = 0;    // most records to write, 0 = all
  std::int16_t ClsGyo = 0;    // rows to clear: 0 the block, > 0 that many, < 0 none
  std::int16_t Midasi = 0;    // 1: heading row of field names
  std::int16_t Display = 0;   // 0: show the workbook at the end; 1: save and quit
  std::int16_t GridF = 0;     // 1: format the block as a table
  std::int16_t Line = 0;      // 1: ruled lines
  std::int16_t Filter = 0;    // 1: AutoFilter
  std::int16_t FitRow = 0;    // 1: fit the rows
  std::int16_t FitCol = 0;    // 1: fit the columns
  std::int16_t PivotF = 0;    // 1: build a pivot table
  std::string PvtName;        // pivot table name
  std::string PvtRow1;        // pivot row field 1
  std::string PvtRow2;        // pivot row field 2 ("なし": none)
  std::string PvtCol1;        // pivot column field 1
  std::string PvtCol2;        // pivot column field 2 ("なし": none)
  std::string PvtVal;         // pivot data field

  friend bool operator==(const ExportSettings&, const ExportSettings&) = default;
};

// The entry of the two second-level pivot lists that means "no field".
inline constexpr const char* kNoField = "なし";

// One of the settings, named by its member.
using TextSetting = std::string ExportSettings::*;
using NumberSetting = std::int16_t ExportSettings::*;
using Setting = std::variant<TextSetting, NumberSetting>;

// A setting's value as a box or a pattern file holds it: a text as it is, a
// number in decimal.
inline std::string SettingText(const ExportSettings& settings, Setting setting) {
  if (const auto* text = std::get_if<TextSetting>(&setting)) return settings.**text;
  return std::to_string(settings.*std::get<NumberSetting>(setting));
}

}  // namespace kestrin::exporting
