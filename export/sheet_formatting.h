// Formatting of the written block as a table: ruled lines, AutoFilter,
// fitted row heights and column widths. Each runs only when its flag is 1.
#pragma once

#include <cstdint>
#include <string>

#include "automation/excel.h"

namespace kestrin::exporting {

// The written block on the active sheet.
struct OutputBlock {
  std::string OutRange;  // A1 address, e.g. "C5:G15"
  std::int64_t first_row = 1;
  std::int64_t last_row = 1;
  int first_col = 1;
  int last_col = 1;
};

// Throws AutomationError on any refusal; treatments done so far stay.
void FormatSheet(automation::XlApplication& xl, const OutputBlock& block, std::int16_t Line,
                 std::int16_t Filter, std::int16_t FitRow, std::int16_t FitCol);

}  // namespace kestrin::exporting
