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
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeMovement.hpp>
#include <com/sun/star/sheet/XConditionalFormats.hpp>
#include <com/sun/star/sheet/XDataPilotTablesSupplier.hpp>
#include <com/sun/star/sheet/XDatabaseRange.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRange.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/sheet/XUnnamedDatabaseRanges.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellAddress.hpp>
#include <com/sun/star/table/CellOrientation.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/util/XMergeable.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include "automation/uno/column_fit_plan.h"
#include "automation/uno/text_widths.h"
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
// Groups of equally formatted cells; more fall back to the plain fit.
constexpr sal_Int32 kMostFormatGroups = 400;

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

// By column from `left`: true where merged cells start in the column down
// to row `bottom`, or where cells merged across columns cover it.
std::vector<bool> MergedColumns(const Reference<css::sheet::XSpreadsheet>& sheet, int left,
                                int right, int bottom) {
  // Merged cells that reach these columns start in them or to their left:
  // when there are none there, which is usual, one question answers for
  // every column.
  if (!Query<css::util::XMergeable>(Cells(sheet, 0, 0, right, bottom))->getIsMerged()) {
    return std::vector<bool>(static_cast<std::size_t>(right - left + 1), false);
  }
  std::vector<bool> merged;
  for (int c = left; c <= right; ++c) {
    auto column = Cells(sheet, c, 0, c, bottom);
    bool m = Query<css::util::XMergeable>(column)->getIsMerged();
    if (!m) {
      auto cursor = sheet->createCursorByRange(Query<css::sheet::XSheetCellRange>(column));
      cursor->collapseToMergedArea();
      const auto a = Address(cursor);
      m = a.StartColumn != c || a.EndColumn != c;
    }
    merged.push_back(m);
  }
  return merged;
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

// The number format, fonts and layout of equally formatted cells, in one
// request.
FormatRun RunFormat(const Reference<css::uno::XInterface>& cells,
                    const Reference<css::util::XNumberFormats>& formats,
                    std::map<sal_Int32, NumberLook>& looks) {
  static const char* const kNames[] = {
      "CharFontName", "CharFontNameAsian", "CharHeight",    "CharHeightAsian",
      "CharLocale",   "CharLocaleAsian",   "CharPosture",   "CharPostureAsian",
      "CharWeight",   "CharWeightAsian",   "IsTextWrapped", "NumberFormat",
      "Orientation",  "RotateAngle"};  // ascending, as the interface asks
  Sequence<OUString> names(std::size(kNames));
  for (std::size_t i = 0; i < std::size(kNames); ++i) {
    names[static_cast<sal_Int32>(i)] = OUString::createFromAscii(kNames[i]);
  }
  const Sequence<Any> v = Query<css::beans::XMultiPropertySet>(cells)->getPropertyValues(names);
  auto font = [&](int name, int height, int locale, int posture, int weight) {
    FontSpec spec;
    OUString family;
    float points = 0, bold = 0;
    css::lang::Locale language;
    css::awt::FontSlant slant = css::awt::FontSlant_NONE;
    v[name] >>= family;
    v[height] >>= points;
    v[locale] >>= language;
    v[posture] >>= slant;
    v[weight] >>= bold;
    spec.family = FromOU(family);
    spec.points = points;
    spec.language = FromOU(language.Language);
    spec.slant = static_cast<int>(slant);
    spec.weight = bold;
    return spec;
  };
  FormatRun run;
  run.western = font(0, 2, 4, 6, 8);
  run.asian = font(1, 3, 5, 7, 9);
  bool wrapped = false;
  sal_Int32 format = 0, rotation = 0;
  css::table::CellOrientation orientation = css::table::CellOrientation_STANDARD;
  v[10] >>= wrapped;
  v[11] >>= format;
  v[12] >>= orientation;
  v[13] >>= rotation;
  run.plain_layout =
      !wrapped && rotation == 0 && orientation == css::table::CellOrientation_STANDARD;
  if (!looks.contains(format)) looks.emplace(format, LookOf(formats, format));
  run.look = looks.at(format);
  return run;
}

// Runs of equally formatted written cells in columns left..right, as the
// office reports them: its groups of alike cells are read once each, however
// many runs they make. Nullopt when there are more groups than a fit should
// read.
std::optional<std::vector<FormatRun>> ReadFormatRuns(
    const Reference<css::sheet::XSpreadsheetDocument>& doc,
    const Reference<css::sheet::XSpreadsheet>& sheet, const std::vector<ValueBlock>& written,
    int left, int right) {
  auto formats = Query<css::util::XNumberFormatsSupplier>(doc)->getNumberFormats();
  std::map<sal_Int32, NumberLook> looks;
  std::vector<FormatRun> runs;
  sal_Int32 count = 0;
  for (const ValueBlock& block : written) {
    const int l = std::max(left, block.area.left), r = std::min(right, block.area.right);
    if (l > r) continue;
    auto groups = Query<css::sheet::XUniqueCellFormatRangesSupplier>(
                      Cells(sheet, l, block.area.top, r, block.area.bottom))
                      ->getUniqueCellFormatRanges();
    const sal_Int32 n = groups->getCount();
    count += n;
    if (count > kMostFormatGroups) return std::nullopt;
    for (sal_Int32 i = 0; i < n; ++i) {
      Reference<css::sheet::XSheetCellRanges> group(groups->getByIndex(i), UNO_QUERY_THROW);
      FormatRun format = RunFormat(group, formats, looks);
      format.format = static_cast<int>(runs.size());
      for (const auto& a : group->getRangeAddresses()) {
        FormatRun run = format;
        run.area = Block{a.StartRow, a.StartColumn, a.EndRow, a.EndColumn};
        runs.push_back(std::move(run));
      }
    }
  }
  return runs;
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
  const int used_end = UsedAreaEnd(sheet);
  FitLayout layout =
      LayOutFit(*written, left, right, used_end, AutoFilterArea(doc, tab), kMostRegionCopies);
  report.written_cells = layout.written_cells;
  if (layout.too_scattered) return plainly();
  std::optional<std::vector<FormatRun>> runs = ReadFormatRuns(doc, sheet, *written, left, right);
  if (!runs) return plainly();
  layout.merged = MergedColumns(sheet, left, right, used_end);

  Fonts fonts;
  FitPlan plan = PlanFit(layout, *runs, [&](const FontSpec& spec) { return fonts.Find(spec); });
  Scratch scratch(doc);
  report.chosen_cells = plan.chosen_cells;
  FillScratch(doc, scratch, tab, layout, plan);
  report.measured_plainly = ApplyWidths(sheet, scratch, left, right, plan.plain);
  return report;
}

}  // namespace kestrin::automation::uno
