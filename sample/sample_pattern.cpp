// Writes the pattern file of the bundled sample's export: the sales slips
// (table 売上明細) go to the sheet 売上 from row 3 under a heading row, ruled,
// filtered and fitted, with a pivot table of amounts by branch and product;
// the workbook is saved and the office closed (Display 1).
//
//   sample-pattern <pattern.kst> <database.mdb> <workbook.xls>
#include <cstdio>

#include "pattern/pattern_file.h"
#include "sample/sample_settings.h"

int main(int argc, char** argv) {
  using namespace kestrin;
  if (argc != 4) {
    std::fprintf(stderr, "usage: sample-pattern <pattern.kst> <database.mdb> <workbook.xls>\n");
    return 2;
  }
  const exporting::ExportSettings s = sample::SampleSettings(argv[2], argv[3]);
  try {
    pattern::WritePatternFile(argv[1], s);
  } catch (const pattern::PatternError& e) {
    std::fprintf(stderr, "sample-pattern: %s\n", e.description().c_str());
    return 1;
  }
  return 0;
}
