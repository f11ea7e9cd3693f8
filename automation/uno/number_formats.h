// The number formats written values get, as a Japanese spreadsheet shows
// them, and the test for cells that still have the General format (only
// those take a date format; a format of the user's own stays). Internal to
// automation/uno/.
#pragma once

#include <map>
#include <optional>
#include <utility>
#include <vector>

#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

#include "automation/uno/cell_batch.h"
#include "automation/uno/uno_util.h"

namespace kestrin::automation::uno {

// Format codes for dates, date-times and times. They are registered with an
// explicit ja-JP locale, so the saved workbook carries the same formats
// whatever the environment of the office or of this program.
const char* DateFormatCode(CellFormat format);  // null for kNone and kBoolean

// Rows [first, last] of one column.
using RowSpan = std::pair<int, int>;

// The spans of [first, last] not covered by `kept` (sorted, disjoint).
std::vector<RowSpan> SpansOutside(RowSpan span, const std::vector<RowSpan>& kept);

// The number formats of one workbook, looked up once and remembered.
class NumberFormatKeys {
 public:
  explicit NumberFormatKeys(const css::uno::Reference<css::util::XNumberFormatsSupplier>& supplier);

  // The key of the format for `format` (not kNone).
  sal_Int32 Key(CellFormat format);
  // True when `key` is the General format of its locale.
  bool IsGeneral(sal_Int32 key);
  // The sheet rows of `column` (a range one column wide) whose number
  // format is not General, sorted and disjoint.
  std::vector<RowSpan> KeptRows(const css::uno::Reference<css::table::XCellRange>& column);

 private:
  css::uno::Reference<css::util::XNumberFormats> formats_;
  std::map<CellFormat, sal_Int32> keys_;
  std::map<sal_Int32, bool> general_;
};

// Gives the dates and Yes/No values of a block just written into `sheet` of
// `doc` their number formats, dates only where the cell's format is General.
// All the cells of one format go in one request: each request has the
// office go over the rows it touches again.
void FormatWrittenCells(NumberFormatKeys& formats,
                        const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc,
                        const css::uno::Reference<css::sheet::XSpreadsheet>& sheet,
                        const ValueBlock& block);

}  // namespace kestrin::automation::uno
