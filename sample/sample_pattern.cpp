// Writes the pattern file of the bundled sample's export: the sales slips
// (table 売上明細) go to the sheet 売上 from row 3 under a heading row, ruled,
// filtered and fitted, with a pivot table of amounts by branch and product;
// the workbook is saved and the office closed (Display 1).
//
//   sample-pattern <pattern.kst> <database.mdb> <workbook.xls>
#include <cstdio>

#include "pattern/pattern_file.h"

int main(int argc, char** argv) {
  using namespace kestrin;
  if (argc != 4) {
    std::fprintf(stderr, "usage: sample-pattern <pattern.kst> <database.mdb> <workbook.xls>\n");
    return 2;
  }
  exporting::ExportSettings s;
  s.FileMoto = argv[2];
  s.TblKbn = 0;
  s.TblName = "売上明細";
  s.FileSaki = argv[3];
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
  try {
    pattern::WritePatternFile(argv[1], s);
  } catch (const pattern::PatternError& e) {
    std::fprintf(stderr, "sample-pattern: %s\n", e.description().c_str());
    return 1;
  }
  return 0;
}
