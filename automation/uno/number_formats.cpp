#include "automation/uno/number_formats.h"

#include <algorithm>
#include <map>

#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>

namespace kestrin::automation::uno {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

const char* DateFormatCode(CellFormat format) {
  switch (format) {
    case CellFormat::kDate:
      return "yyyy/m/d";
    case CellFormat::kDateTime:
      return "yyyy/m/d h:mm:ss";
    case CellFormat::kTime:
      return "h:mm:ss";
    case CellFormat::kNone:
    case CellFormat::kBoolean:
      break;
  }
  return nullptr;
}

std::vector<RowSpan> SpansOutside(RowSpan span, const std::vector<RowSpan>& kept) {
  std::vector<RowSpan> out;
  int next = span.first;
  for (const RowSpan& k : kept) {
    if (k.second < next) continue;
    if (k.first > span.second) break;
    if (k.first > next) out.emplace_back(next, k.first - 1);
    next = k.second + 1;
    if (next > span.second) return out;
  }
  if (next <= span.second) out.emplace_back(next, span.second);
  return out;
}

NumberFormatKeys::NumberFormatKeys(const Reference<css::util::XNumberFormatsSupplier>& supplier)
    : formats_(supplier->getNumberFormats()) {}

sal_Int32 NumberFormatKeys::Key(CellFormat format) {
  auto found = keys_.find(format);
  if (found != keys_.end()) return found->second;
  sal_Int32 key = 0;
  if (format == CellFormat::kBoolean) {
    // TRUE and FALSE, as the .xls Boolean cells read in every language.
    key = Query<css::util::XNumberFormatTypes>(formats_)->getStandardFormat(
        css::util::NumberFormat::LOGICAL, css::lang::Locale("en", "US", ""));
  } else {
    css::lang::Locale japanese("ja", "JP", "");
    OUString code = OUString::createFromAscii(DateFormatCode(format));
    key = formats_->queryKey(code, japanese, false);
    if (key < 0) key = formats_->addNew(code, japanese);
  }
  keys_[format] = key;
  return key;
}

bool NumberFormatKeys::IsGeneral(sal_Int32 key) {
  auto found = general_.find(key);
  if (found != general_.end()) return found->second;
  // Every locale has a General format of its own (key 0 for the default
  // one); the format's type cannot tell General from "0.00".
  css::lang::Locale locale;
  Props(formats_->getByKey(key))->getPropertyValue("Locale") >>= locale;
  bool general = Query<css::util::XNumberFormatTypes>(formats_)->getStandardIndex(locale) == key;
  general_[key] = general;
  return general;
}

std::vector<RowSpan> NumberFormatKeys::KeptRows(const Reference<css::table::XCellRange>& column) {
  // Cells of the same formatting come in groups; a cleared area is one group.
  auto groups =
      Query<css::sheet::XUniqueCellFormatRangesSupplier>(column)->getUniqueCellFormatRanges();
  std::vector<RowSpan> kept;
  const sal_Int32 n = groups->getCount();
  for (sal_Int32 i = 0; i < n; ++i) {
    Reference<css::sheet::XSheetCellRanges> group(groups->getByIndex(i), UNO_QUERY_THROW);
    sal_Int32 key = 0;
    Props(group)->getPropertyValue("NumberFormat") >>= key;
    if (IsGeneral(key)) continue;
    for (const auto& a : group->getRangeAddresses()) kept.emplace_back(a.StartRow, a.EndRow);
  }
  std::sort(kept.begin(), kept.end());
  return kept;
}

void FormatWrittenCells(NumberFormatKeys& formats,
                        const Reference<css::sheet::XSpreadsheetDocument>& doc,
                        const Reference<css::sheet::XSpreadsheet>& sheet, const ValueBlock& block) {
  const Block& a = block.area;
  const sal_Int16 tab = Address(sheet).Sheet;
  std::map<CellFormat, std::vector<css::table::CellRangeAddress>> targets;
  auto target = [&](CellFormat f, int column, int top, int bottom) {
    css::table::CellRangeAddress cells;
    cells.Sheet = tab;
    cells.StartColumn = cells.EndColumn = column;
    cells.StartRow = top;
    cells.EndRow = bottom;
    targets[f].push_back(cells);
  };
  for (int c = a.left; c <= a.right; ++c) {
    std::optional<std::vector<RowSpan>> kept;  // looked up once per column
    int r = a.top;
    while (r <= a.bottom) {
      CellFormat f = FormatOf(block.at(r, c));
      int end = r;
      while (end + 1 <= a.bottom && FormatOf(block.at(end + 1, c)) == f) ++end;
      if (f == CellFormat::kBoolean) {
        target(f, c, r, end);
      } else if (f != CellFormat::kNone) {
        if (!kept) kept = formats.KeptRows(sheet->getCellRangeByPosition(c, a.top, c, a.bottom));
        for (const RowSpan& span : SpansOutside({r, end}, *kept)) {
          target(f, c, span.first, span.second);
        }
      }
      r = end + 1;
    }
  }
  for (const auto& [f, ranges] : targets) {
    Reference<css::sheet::XSheetCellRangeContainer> cells(
        Query<css::lang::XMultiServiceFactory>(doc)->createInstance(
            "com.sun.star.sheet.SheetCellRanges"),
        UNO_QUERY_THROW);
    cells->addRangeAddresses(Sequence<css::table::CellRangeAddress>(
                                 ranges.data(), static_cast<sal_Int32>(ranges.size())),
                             false);
    Props(cells)->setPropertyValue("NumberFormat", Any(formats.Key(f)));
  }
}

}  // namespace kestrin::automation::uno
