// The bundled sample's export: the sales slips of the database go to the
// sheet 売上 from row 3 under a heading row, ruled, filtered and fitted, with
// a pivot table of amounts by branch and product; the workbook is saved and
// the office closed. The sample's pattern file and its tests share it.
#pragma once

#include <string>

#include "export/export_settings.h"

namespace kestrin::sample {

inline exporting::ExportSettings SampleSettings(std::string database, std::string workbook) {
  exporting::ExportSettings s;
  s.FileMoto = std::move(database);
  s.TblKbn = 0;
  s.TblName = "売上明細";
  s.FileSaki = std::move(workbook);
  s.ShtName = "売上";
  s.StartRow = 3;
  s.StartCol = 1;
  s.KaiGyo = 1;
  s.OutGyo = 0;
  s.ClsGyo = 0;
  s.Midasi = 1;
  s.Display = 1;
  s.GridF = s.Line = s.Filter = s.FitRow = s.FitCol = 1;
  s.PivotF = 1;
  s.PvtName = "支店別集計";
  s.PvtRow1 = "支店";
  s.PvtRow2 = exporting::kNoField;
  s.PvtCol1 = "商品";
  s.PvtCol2 = exporting::kNoField;
  s.PvtVal = "金額";
  return s;
}

}  // namespace kestrin::sample
