// Fitting whole columns to their contents, with the widths the office's own
// fit gives, measuring far fewer cells. Internal to automation/uno/.
#pragma once

#include <vector>

#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

#include "automation/uno/cell_batch.h"
#include "automation/uno/uno_excel.h"

namespace kestrin::automation::uno {

// The office's own fit of columns left..right (from 0): it measures every
// cell of each column.
void FitColumnsPlainly(const css::uno::Reference<css::sheet::XSpreadsheet>& sheet, int left,
                       int right);

// Fits columns left..right of `sheet` to the same widths as
// FitColumnsPlainly. `written` are blocks this program wrote into the sheet
// and that nothing has changed since (null: none). Of those cells only the
// few that can be a column's widest are copied, with their formats, onto a
// scratch sheet beside every other filled cell of the columns, fitted there,
// and the widths set on the sheet's columns; the scratch sheet is removed
// again. Columns where that cannot be told, and those with merged cells,
// fall back to the plain fit.
ColumnFitReport FitColumns(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc,
                           const css::uno::Reference<css::sheet::XSpreadsheet>& sheet, int left,
                           int right, const std::vector<ValueBlock>* written);

}  // namespace kestrin::automation::uno
