#include "export/sheet_formatting.h"

#include "export/column_letters.h"

namespace kestrin::exporting {

namespace xl = automation::xl;

void FormatSheet(automation::XlApplication& app, const OutputBlock& block, std::int16_t Line,
                 std::int16_t Filter, std::int16_t FitRow, std::int16_t FitCol) {
  if (Line == 1) {
    app.Range(block.OutRange)->Select();
    auto selection = app.Selection();
    selection->Borders(xl::kDiagonalDown)->SetLineStyle(xl::kLineStyleNone);
    selection->Borders(xl::kDiagonalUp)->SetLineStyle(xl::kLineStyleNone);
    for (int index : kBorderTbl) {
      auto border = selection->Borders(index);
      border->SetLineStyle(xl::kContinuous);
      border->SetWeight(xl::kThin);
      border->SetColorIndex(xl::kColorIndexAutomatic);
    }
  }
  if (Filter == 1) {
    app.Range(block.OutRange)->AutoFilter();
  }
  if (FitRow == 1) {
    app.Rows(std::to_string(block.first_row) + ":" + std::to_string(block.last_row))->AutoFit();
  }
  if (FitCol == 1) {
    app.Columns(ColTbl(block.first_col - 1) + ":" + ColTbl(block.last_col - 1))->AutoFit();
  }
}

}  // namespace kestrin::exporting
