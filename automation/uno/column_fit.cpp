#include "automation/uno/column_fit.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include <com/sun/star/awt/FontSlant.hpp>
#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/sheet/FillDirection.hpp>
#include <com/sun/star/sheet/XCellFormatRangesSupplier.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeMovement.hpp>
#include <com/sun/star/sheet/XCellSeries.hpp>
#include <com/sun/star/sheet/XConditionalFormats.hpp>
#include <com/sun/star/sheet/XDataPilotTablesSupplier.hpp>
#include <com/sun/star/sheet/XDatabaseRange.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUnnamedDatabaseRanges.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellAddress.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include "automation/uno/column_fit_plan.h"
#include "automation/uno/uno_util.h"

namespace kestrin::automation::uno {
namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

// Copies of regions the program did not write; more fall back to the plain fit.
constexpr std::size_t kMostRegionCopies = 64;
// Runs of equally formatted cells; more fall back to the plain fit.
constexpr sal_Int32 kMostFormatRuns = 400;
// A digit repeated this often shows a difference of a thirtieth of a pixel.
constexpr int kDigitRepeat = 32;

Reference<css::table::XCellRange> Cells(const Reference<css::sheet::XSpreadsheet>& sheet, int left,
                                        int top, int right, int bottom) {
  return sheet->getCellRangeByPosition(left, top, right, bottom);
}

css::table::CellRangeAddress RangeAddress(sal_Int16 sheet, const Block& b) {
  css::table::CellRangeAddress a;
  a.Sheet = sheet;
  a.StartColumn = b.left;
  a.StartRow = b.top;
  a.EndColumn = b.right;
  a.EndRow = b.bottom;
  return a;
}

Reference<css::beans::XPropertySet> ColumnsOf(const Reference<css::sheet::XSpreadsheet>& sheet,
                                              int left, int right) {
  return Props(Query<css::table::XColumnRowRange>(Cells(sheet, left, 0, right, 0))->getColumns());
}

// True when nothing on the sheet changes a cell's width in ways a copy does
// not carry: conditional formats and pivot table buttons.
bool CopiesMeasureAlike(const Reference<css::sheet::XSpreadsheet>& sheet) {
  Reference<css::sheet::XConditionalFormats> conditional(
      Props(sheet)->getPropertyValue("ConditionalFormats"), UNO_QUERY);
  return conditional.is() && conditional->getLength() == 0 &&
         Query<css::sheet::XDataPilotTablesSupplier>(sheet)
                 ->getDataPilotTables()
                 ->getElementNames()
                 .getLength() == 0;
}

// The sheet's AutoFilter area.
std::optional<Block> AutoFilterArea(const Reference<css::sheet::XSpreadsheetDocument>& doc,
                                    sal_Int16 tab) {
  auto props = Props(doc);
  std::vector<Reference<css::sheet::XDatabaseRange>> ranges;
  Reference<css::sheet::XUnnamedDatabaseRanges> unnamed(
      props->getPropertyValue("UnnamedDatabaseRanges"), UNO_QUERY_THROW);
  if (unnamed->hasByTable(tab)) {
    ranges.emplace_back(unnamed->getByTable(tab), UNO_QUERY_THROW);
  }
  Reference<css::container::XNameAccess> named(props->getPropertyValue("DatabaseRanges"),
                                               UNO_QUERY_THROW);
  const Sequence<OUString> names = named->getElementNames();
  for (const OUString& n : names) ranges.emplace_back(named->getByName(n), UNO_QUERY_THROW);
  for (const auto& db : ranges) {
    auto a = db->getDataArea();
    if (a.Sheet != tab) continue;
    if (!Props(db)->getPropertyValue("AutoFilter").get<bool>()) continue;
    return Block{a.StartRow, a.StartColumn, a.EndRow, a.EndColumn};
  }
  return std::nullopt;
}

int UsedAreaEnd(const Reference<css::sheet::XSpreadsheet>& sheet) {
  auto cursor = sheet->createCursor();
  Query<css::sheet::XUsedAreaCursor>(cursor)->gotoEndOfUsedArea(false);
  return Address(cursor).EndRow;
}

NumberLook LookOf(const Reference<css::util::XNumberFormats>& formats, sal_Int32 key) {
  auto format = formats->getByKey(key);
  css::lang::Locale locale;
  format->getPropertyValue("Locale") >>= locale;
  if (key == Query<css::util::XNumberFormatTypes>(formats)->getStandardIndex(locale)) {
    return NumberLook::General();
  }
  OUString code;
  format->getPropertyValue("FormatString") >>= code;
  return NumberLook::FromCode(FromOU(code));
}

// The scratch sheet, removed again however the fit ends.
class Scratch {
 public:
  explicit Scratch(const Reference<css::sheet::XSpreadsheetDocument>& doc) : doc_(doc) {
    auto sheets = doc_->getSheets();
    name_ = "KestrinFit";
    for (int n = 2; sheets->hasByName(name_); ++n) name_ = "KestrinFit" + OUString::number(n);
    sheets->insertNewByName(name_, static_cast<sal_Int16>(SheetList(doc_)->getCount()));
    sheet_.set(sheets->getByName(name_), UNO_QUERY_THROW);
    index_ = static_cast<sal_Int16>(SheetIndex(sheet_));
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() {
    try {
      doc_->getSheets()->removeByName(name_);
    } catch (const css::uno::Exception&) {
    }
  }
  const Reference<css::sheet::XSpreadsheet>& sheet() const { return sheet_; }
  sal_Int16 index() const { return index_; }

 private:
  Reference<css::sheet::XSpreadsheetDocument> doc_;
  OUString name_;
  Reference<css::sheet::XSpreadsheet> sheet_;
  sal_Int16 index_ = 0;
};

// Name, size, weight and slant of a run's font, as one text.
std::string FontKey(const Sequence<Any>& values) {
  std::string key;
  for (const Any& v : values) {
    OUString text;
    float number = 0;
    css::awt::FontSlant slant = css::awt::FontSlant_NONE;
    if (v >>= text) {
      key += FromOU(text);
    } else if (v >>= number) {
      key += std::to_string(number);
    } else if (v >>= slant) {
      key += std::to_string(static_cast<int>(slant));
    }
    key += ';';
  }
  return key;
}

// Runs of equally formatted written cells in columns left..right, as the
// office reports them; nullopt when there are more than a fit should read.
std::optional<std::vector<FormatRun>> ReadFormatRuns(
    const Reference<css::sheet::XSpreadsheetDocument>& doc,
    const Reference<css::sheet::XSpreadsheet>& sheet, const std::vector<ValueBlock>& written,
    int left, int right) {
  Sequence<OUString> font_props(4);
  font_props[0] = "CharFontName";
  font_props[1] = "CharHeight";
  font_props[2] = "CharWeight";
  font_props[3] = "CharPosture";
  auto formats = Query<css::util::XNumberFormatsSupplier>(doc)->getNumberFormats();
  std::map<sal_Int32, NumberLook> looks;
  std::vector<FormatRun> runs;
  sal_Int32 count = 0;
  for (const ValueBlock& block : written) {
    const int l = std::max(left, block.area.left), r = std::min(right, block.area.right);
    if (l > r) continue;
    auto list = Query<css::sheet::XCellFormatRangesSupplier>(
                    Cells(sheet, l, block.area.top, r, block.area.bottom))
                    ->getCellFormatRanges();
    const sal_Int32 n = list->getCount();
    count += n;
    if (count > kMostFormatRuns) return std::nullopt;
    for (sal_Int32 i = 0; i < n; ++i) {
      Reference<css::uno::XInterface> range(list->getByIndex(i), UNO_QUERY_THROW);
      auto a = Address(range);
      sal_Int32 format = 0;
      Props(range)->getPropertyValue("NumberFormat") >>= format;
      if (!looks.contains(format)) looks.emplace(format, LookOf(formats, format));
      runs.push_back(FormatRun{
          Block{a.StartRow, a.StartColumn, a.EndRow, a.EndColumn}, looks.at(format),
          FontKey(Query<css::beans::XMultiPropertySet>(range)->getPropertyValues(font_props))});
    }
  }
  return runs;
}

// Whether each probed font's digits are equally wide, measured on the
// scratch sheet: one digit many times over in each of ten columns.
std::map<std::string, bool> MeasureDigits(const Scratch& scratch, sal_Int16 tab,
                                          const std::vector<DigitProbe>& probes) {
  std::map<std::string, bool> alike;
  if (probes.empty()) return alike;
  const auto& sc = scratch.sheet();
  auto movement = Query<css::sheet::XCellRangeMovement>(sc);
  Sequence<Any> digits(10);
  for (int d = 0; d < 10; ++d) {
    digits[d] <<= ToOU(std::string(kDigitRepeat, static_cast<char>('0' + d)));
  }
  Sequence<Sequence<Any>> data(1);
  data[0] = digits;
  for (const DigitProbe& probe : probes) {
    const Block& from = probe.sample;
    movement->copyRange(css::table::CellAddress(scratch.index(), probe.column, 0),
                        RangeAddress(tab, Block{from.top, from.left, from.top, from.left}));
    auto row = Cells(sc, probe.column, 0, probe.column + 9, 0);
    Query<css::sheet::XCellSeries>(row)->fillAuto(css::sheet::FillDirection_TO_RIGHT, 1);
    Query<css::sheet::XCellRangeData>(row)->setDataArray(data);
  }
  const int first = probes.front().column, last = probes.back().column + 9;
  FitColumnsPlainly(sc, first, last);
  auto widths = Query<css::table::XColumnRowRange>(Cells(sc, first, 0, last, 0))->getColumns();
  for (const DigitProbe& probe : probes) {
    bool same = true;
    sal_Int32 w0 = -1;
    for (int d = 0; d < 10; ++d) {
      sal_Int32 w = 0;
      Props(widths->getByIndex(probe.column - first + d))->getPropertyValue("Width") >>= w;
      if (w0 >= 0 && w != w0) same = false;
      w0 = w;
    }
    alike[probe.font] = same;
  }
  return alike;
}

// Puts the layout's copies, its AutoFilter and the plan's candidates onto
// the scratch sheet.
void FillScratch(const Reference<css::sheet::XSpreadsheetDocument>& doc, const Scratch& scratch,
                 sal_Int16 tab, const FitLayout& layout, const FitPlan& plan) {
  const auto& sc = scratch.sheet();
  auto movement = Query<css::sheet::XCellRangeMovement>(sc);
  for (const Block& region : layout.copies) {
    movement->copyRange(css::table::CellAddress(scratch.index(), region.left, region.top),
                        RangeAddress(tab, region));
  }
  if (layout.filter) {
    Reference<css::sheet::XUnnamedDatabaseRanges> unnamed(
        Props(doc)->getPropertyValue("UnnamedDatabaseRanges"), UNO_QUERY_THROW);
    unnamed->setByTable(RangeAddress(scratch.index(), *layout.filter));
    Props(unnamed->getByTable(scratch.index()))->setPropertyValue("AutoFilter", Any(true));
  }
  // Each run's first rows are copied, formats and all, and the candidates
  // written over them, every column of the run at once.
  for (const Candidates& c : plan.candidates) {
    const Block& a = c.area;
    movement->copyRange(css::table::CellAddress(scratch.index(), a.left, a.top),
                        RangeAddress(tab, a));
    Sequence<Sequence<Any>> data(static_cast<sal_Int32>(c.rows.size()));
    for (std::size_t j = 0; j < c.rows.size(); ++j) {
      Sequence<Any> line(static_cast<sal_Int32>(c.rows[j].size()));
      for (std::size_t k = 0; k < c.rows[j].size(); ++k) {
        const Value* v = c.rows[j][k];
        line[static_cast<sal_Int32>(k)] = v == nullptr ? Any(OUString()) : CellAny(*v);
      }
      data[static_cast<sal_Int32>(j)] = line;
    }
    Query<css::sheet::XCellRangeData>(Cells(sc, a.left, a.top, a.right, a.bottom))
        ->setDataArray(data);
  }
}

// Fits the scratch columns and gives the sheet's columns their widths (the
// office's fit also shows hidden columns); the plain ones are fitted on the
// sheet itself. Returns how many were.
int ApplyWidths(const Reference<css::sheet::XSpreadsheet>& sheet, const Scratch& scratch, int left,
                int right, const std::vector<bool>& plain) {
  const auto columns = plain.size();
  if (std::find(plain.begin(), plain.end(), false) != plain.end()) {
    FitColumnsPlainly(scratch.sheet(), left, right);
    auto from =
        Query<css::table::XColumnRowRange>(Cells(scratch.sheet(), left, 0, right, 0))->getColumns();
    auto to = Query<css::table::XColumnRowRange>(Cells(sheet, left, 0, right, 0))->getColumns();
    for (std::size_t i = 0; i < columns; ++i) {
      if (plain[i]) continue;
      const auto index = static_cast<sal_Int32>(i);
      Props(to->getByIndex(index))
          ->setPropertyValue("Width", Props(from->getByIndex(index))->getPropertyValue("Width"));
    }
    ColumnsOf(sheet, left, right)->setPropertyValue("IsVisible", Any(true));
  }
  int fitted = 0;
  for (std::size_t i = 0; i < columns;) {
    if (!plain[i]) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j + 1 < columns && plain[j + 1]) ++j;
    FitColumnsPlainly(sheet, left + static_cast<int>(i), left + static_cast<int>(j));
    fitted += static_cast<int>(j - i + 1);
    i = j + 1;
  }
  return fitted;
}

}  // namespace

void FitColumnsPlainly(const Reference<css::sheet::XSpreadsheet>& sheet, int left, int right) {
  ColumnsOf(sheet, left, right)->setPropertyValue("OptimalWidth", Any(true));
}

ColumnFitReport FitColumns(const Reference<css::sheet::XSpreadsheetDocument>& doc,
                           const Reference<css::sheet::XSpreadsheet>& sheet, int left, int right,
                           const std::vector<ValueBlock>* written) {
  ColumnFitReport report;
  report.columns = right - left + 1;
  auto plainly = [&] {
    FitColumnsPlainly(sheet, left, right);
    report.measured_plainly = report.columns;
    return report;
  };
  if (written == nullptr || written->empty() || !CopiesMeasureAlike(sheet)) return plainly();
  const sal_Int16 tab = static_cast<sal_Int16>(SheetIndex(sheet));
  FitLayout layout = LayOutFit(*written, left, right, UsedAreaEnd(sheet), AutoFilterArea(doc, tab),
                               kMostRegionCopies);
  report.written_cells = layout.written_cells;
  if (layout.too_scattered) return plainly();
  std::optional<std::vector<FormatRun>> runs = ReadFormatRuns(doc, sheet, *written, left, right);
  if (!runs) return plainly();

  Scratch scratch(doc);
  const int last_column = Address(scratch.sheet()).EndColumn;
  FitPlan plan = PlanFit(layout, *runs,
                         MeasureDigits(scratch, tab, DigitProbes(*runs, right + 1, last_column)));
  report.chosen_cells = plan.chosen_cells;
  FillScratch(doc, scratch, tab, layout, plan);
  report.measured_plainly = ApplyWidths(sheet, scratch, left, right, plan.plain);
  return report;
}

}  // namespace kestrin::automation::uno
