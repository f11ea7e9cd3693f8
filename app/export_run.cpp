#include "app/export_run.h"

#include <cstdint>
#include <string>

namespace kestrin::app {

namespace {
const std::string kNone = "0";
bool Used(const std::string& field) { return field != exporting::kNoField; }
}  // namespace

bool PivotFieldsRepeat(const exporting::ExportSettings& s) {
  return s.PvtRow1 == s.PvtCol1 || s.PvtRow1 == s.PvtVal || s.PvtCol1 == s.PvtVal;
}

bool SecondPivotFieldsRepeat(const exporting::ExportSettings& s) {
  const bool row2 = Used(s.PvtRow2);
  const bool col2 = Used(s.PvtCol2);
  if (row2 && col2) return s.PvtRow2 == s.PvtCol2;
  if (row2) return s.PvtRow2 == s.PvtCol1;
  if (col2) return s.PvtRow1 == s.PvtCol2;
  return false;
}

void CallExportToSheet(exporting::ExportTargets& targets, exporting::ExportSettings& s,
                       bool formatting, bool pivot) {
  std::int16_t StartRow = s.StartRow;
  std::int16_t StartCol = s.StartCol;
  std::int16_t KaiGyo = s.KaiGyo;
  std::int32_t OutGyo = s.OutGyo;
  std::int32_t ClsGyo = s.ClsGyo;
  std::int16_t Line = formatting ? s.Line : 0;
  std::int16_t Filter = formatting ? s.Filter : 0;
  std::int16_t FitRow = formatting ? s.FitRow : 0;
  std::int16_t FitCol = formatting ? s.FitCol : 0;
  const std::string& PvtRow2 = pivot && Used(s.PvtRow2) ? s.PvtRow2 : kNone;
  const std::string& PvtCol2 = pivot && Used(s.PvtCol2) ? s.PvtCol2 : kNone;
  exporting::ExportToSheet(targets, s.TblName, s.FileMoto, s.ShtName, StartRow, StartCol, KaiGyo,
                           OutGyo, ClsGyo, s.Midasi, s.Display, Line, Filter, FitRow, FitCol,
                           pivot ? s.PvtName : kNone, pivot ? s.PvtRow1 : kNone,
                           pivot ? s.PvtCol1 : kNone, PvtRow2, PvtCol2, pivot ? s.PvtVal : kNone);
}

}  // namespace kestrin::app
