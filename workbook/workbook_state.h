// The module state of the destination side: the spreadsheet application.
// The workbook is always reached as its active workbook; no workbook
// reference is kept. Owned by the workbook choice.
#pragma once

#include <cstdint>
#include <memory>

#include "automation/excel.h"

namespace kestrin::workbook {

struct WorkbookState {
  // Spreadsheet application (attached or started); empty until the first
  // choice, and again after an export that saved the workbook and quit it.
  std::shared_ptr<automation::XlApplication> XlApp;
  // 1 once the program started its own spreadsheet application; never set
  // back.
  std::int16_t XlNewF = 0;
};

}  // namespace kestrin::workbook
