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

#include "automation/uno/fit_estimate.h"
#include "automation/uno/uno_util.h"

namespace kestrin::automation::uno {
namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

// Above this many groups of alike cells in a run, width bounds narrow them.
constexpr std::size_t kPruneAbove = 64;
// Copies of regions the program did not write; more fall back to the plain fit.
constexpr std::size_t kMostRegionCopies = 64;
// Runs of equally formatted cells; more fall back to the plain fit.
constexpr sal_Int32 kMostFormatRuns = 400;
// Fonts whose digits are measured; cells in further fonts are not grouped.
constexpr std::size_t kMostDigitChecks = 8;
// A digit repeated this often shows a difference of a thirtieth of a pixel.
constexpr int kDigitRepeat = 32;

struct Known {
  int row;
  const Value* value;
};

// Equally formatted cells the program wrote, within one column.
struct Run {
  Block area;
  sal_Int32 format = 0;
  std::string font;
};

struct Interval {
  int first, last;
  friend bool operator==(const Interval&, const Interval&) = default;
};

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

// The sheet's AutoFilter area: its first row carries the filter buttons,
// which widen those cells and which a copy does not carry.
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

// The written cells of each column, by row, the last write of a cell kept.
std::vector<std::vector<Known>> KnownCells(const std::vector<ValueBlock>& written, int left,
                                           int right) {
  std::vector<std::vector<Known>> known(static_cast<std::size_t>(right - left + 1));
  for (int c = left; c <= right; ++c) {
    auto& column = known[static_cast<std::size_t>(c - left)];
    bool ordered = true;
    for (const ValueBlock& block : written) {
      if (c < block.area.left || c > block.area.right) continue;
      for (int r = block.area.top; r <= block.area.bottom; ++r) {
        if (!column.empty() && column.back().row >= r) ordered = false;
        column.push_back(Known{r, &block.at(r, c)});
      }
    }
    if (!ordered) {
      std::stable_sort(column.begin(), column.end(),
                       [](const Known& a, const Known& b) { return a.row < b.row; });
      std::vector<Known> last;
      for (const Known& k : column) {
        if (!last.empty() && last.back().row == k.row) {
          last.back() = k;
        } else {
          last.push_back(k);
        }
      }
      column = std::move(last);
    }
  }
  return known;
}

// Rows 0..end not in `rows` (ascending), as intervals.
std::vector<Interval> Complement(const std::vector<Known>& rows, int end) {
  std::vector<Interval> out;
  int next = 0;
  for (const Known& k : rows) {
    if (k.row > end) break;
    if (k.row > next) out.push_back(Interval{next, k.row - 1});
    next = k.row + 1;
  }
  if (next <= end) out.push_back(Interval{next, end});
  return out;
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
  if (written == nullptr || written->empty()) return plainly();
  // Conditional formats and pivot table buttons change a cell's width in
  // ways a copy does not carry.
  Reference<css::sheet::XConditionalFormats> conditional(
      Props(sheet)->getPropertyValue("ConditionalFormats"), UNO_QUERY);
  if (!conditional.is() || conditional->getLength() > 0 ||
      Query<css::sheet::XDataPilotTablesSupplier>(sheet)
              ->getDataPilotTables()
              ->getElementNames()
              .getLength() > 0) {
    return plainly();
  }
  const auto columns = static_cast<std::size_t>(right - left + 1);
  std::vector<std::vector<Known>> known = KnownCells(*written, left, right);
  for (const auto& column : known) report.written_cells += static_cast<long>(column.size());

  // The filter buttons' row is copied in place and filtered again there.
  const sal_Int16 tab = static_cast<sal_Int16>(SheetIndex(sheet));
  std::optional<Block> filter = AutoFilterArea(doc, tab);
  if (filter) {
    for (int c = std::max(left, filter->left); c <= std::min(right, filter->right); ++c) {
      auto& column = known[static_cast<std::size_t>(c - left)];
      std::erase_if(column, [&](const Known& k) { return k.row == filter->top; });
    }
  }

  // Every other filled cell of the columns is copied as it is.
  auto cursor = sheet->createCursor();
  Query<css::sheet::XUsedAreaCursor>(cursor)->gotoEndOfUsedArea(false);
  const int used_end = Address(cursor).EndRow;
  std::vector<Block> regions;
  std::vector<Interval> previous;
  for (std::size_t i = 0; i < columns; ++i) {
    const int c = left + static_cast<int>(i);
    std::vector<Interval> gaps = Complement(known[i], used_end);
    if (i > 0 && gaps == previous) {
      for (std::size_t k = regions.size() - gaps.size(); k < regions.size(); ++k) {
        regions[k].right = c;
      }
    } else {
      for (const Interval& g : gaps) regions.push_back(Block{g.first, c, g.last, c});
    }
    previous = std::move(gaps);
  }
  if (regions.size() > kMostRegionCopies) return plainly();

  // Runs of equally formatted written cells.
  std::vector<Run> runs;
  Sequence<OUString> font_props(4);
  font_props[0] = "CharFontName";
  font_props[1] = "CharHeight";
  font_props[2] = "CharWeight";
  font_props[3] = "CharPosture";
  sal_Int32 run_count = 0;
  for (const ValueBlock& block : *written) {
    const int l = std::max(left, block.area.left), r = std::min(right, block.area.right);
    if (l > r) continue;
    auto list = Query<css::sheet::XCellFormatRangesSupplier>(
                    Cells(sheet, l, block.area.top, r, block.area.bottom))
                    ->getCellFormatRanges();
    const sal_Int32 n = list->getCount();
    run_count += n;
    if (run_count > kMostFormatRuns) return plainly();
    for (sal_Int32 i = 0; i < n; ++i) {
      Reference<css::uno::XInterface> range(list->getByIndex(i), UNO_QUERY_THROW);
      auto a = Address(range);
      Run run;
      run.area = Block{a.StartRow, a.StartColumn, a.EndRow, a.EndColumn};
      Props(range)->getPropertyValue("NumberFormat") >>= run.format;
      const Sequence<Any> font =
          Query<css::beans::XMultiPropertySet>(range)->getPropertyValues(font_props);
      run.font = FontKey(font);
      runs.push_back(std::move(run));
    }
  }

  auto formats = Query<css::util::XNumberFormatsSupplier>(doc)->getNumberFormats();
  std::map<sal_Int32, NumberLook> looks;
  for (const Run& run : runs) {
    if (!looks.contains(run.format)) looks.emplace(run.format, LookOf(formats, run.format));
  }

  Scratch scratch(doc);
  const auto& sc = scratch.sheet();
  auto movement = Query<css::sheet::XCellRangeMovement>(sc);
  const int last_column = Address(sc).EndColumn;

  // Are the digits of each font equally wide? Ten scratch columns per font,
  // right of the fitted ones, each holding one digit many times over.
  std::map<std::string, bool> digits_alike;
  {
    std::vector<std::pair<std::string, const Run*>> fonts;
    for (const Run& run : runs) {
      if (digits_alike.contains(run.font)) continue;
      digits_alike[run.font] = false;
      if (fonts.size() < kMostDigitChecks &&
          right + 1 + 10 * static_cast<int>(fonts.size() + 1) <= last_column) {
        fonts.emplace_back(run.font, &run);
      }
    }
    if (!fonts.empty()) {
      const int first = right + 1;
      for (std::size_t f = 0; f < fonts.size(); ++f) {
        const int x = first + 10 * static_cast<int>(f);
        const Block& from = fonts[f].second->area;
        movement->copyRange(css::table::CellAddress(scratch.index(), x, 0),
                            RangeAddress(tab, Block{from.top, from.left, from.top, from.left}));
        auto row = Cells(sc, x, 0, x + 9, 0);
        Query<css::sheet::XCellSeries>(row)->fillAuto(css::sheet::FillDirection_TO_RIGHT, 1);
        Sequence<Any> digits(10);
        for (int d = 0; d < 10; ++d) {
          digits[d] <<= ToOU(std::string(kDigitRepeat, static_cast<char>('0' + d)));
        }
        Sequence<Sequence<Any>> data(1);
        data[0] = digits;
        Query<css::sheet::XCellRangeData>(row)->setDataArray(data);
      }
      const int last = first + 10 * static_cast<int>(fonts.size()) - 1;
      FitColumnsPlainly(sc, first, last);
      auto widths = Query<css::table::XColumnRowRange>(Cells(sc, first, 0, last, 0))->getColumns();
      for (std::size_t f = 0; f < fonts.size(); ++f) {
        bool alike = true;
        sal_Int32 w0 = -1;
        for (int d = 0; d < 10; ++d) {
          sal_Int32 w = 0;
          Props(widths->getByIndex(static_cast<sal_Int32>(10 * f) + d))
              ->getPropertyValue("Width") >>= w;
          if (w0 >= 0 && w != w0) alike = false;
          w0 = w;
        }
        digits_alike[fonts[f].first] = alike;
      }
    }
  }

  for (const Block& region : regions) {
    movement->copyRange(css::table::CellAddress(scratch.index(), region.left, region.top),
                        RangeAddress(tab, region));
  }
  if (filter) {
    Reference<css::sheet::XUnnamedDatabaseRanges> unnamed(
        Props(doc)->getPropertyValue("UnnamedDatabaseRanges"), UNO_QUERY_THROW);
    unnamed->setByTable(RangeAddress(scratch.index(), *filter));
    Props(unnamed->getByTable(scratch.index()))->setPropertyValue("AutoFilter", Any(true));
  }

  // The cells that can be widest go onto the scratch sheet in rows of their
  // own run, which are free there: the run's first rows are copied, formats
  // and all, and the chosen values written over them, every column of the run
  // at once. A column short of chosen values repeats its first, or stays
  // empty when it has none in the run.
  std::vector<bool> plain(columns, false);
  std::vector<long> chosen_in(columns, 0);
  for (const Run& run : runs) {
    const NumberLook& look = looks.at(run.format);
    const bool alike = digits_alike.at(run.font);
    const int l = std::max(left, run.area.left), r = std::min(right, run.area.right);
    if (l > r) continue;
    // The filter buttons' row was copied with the other cells; rows above it
    // are left unused.
    int top = run.area.top;
    if (filter && filter->top >= top && filter->top <= run.area.bottom && l <= filter->right &&
        r >= filter->left) {
      top = filter->top + 1;
    }
    std::vector<std::vector<const Value*>> picks(static_cast<std::size_t>(r - l + 1));
    std::size_t rows = 0;
    for (int c = l; c <= r; ++c) {
      const std::size_t i = static_cast<std::size_t>(c - left);
      if (plain[i]) continue;
      const auto& column = known[i];
      auto from = std::lower_bound(column.begin(), column.end(), run.area.top,
                                   [](const Known& k, int row) { return k.row < row; });
      std::vector<const Value*> values;
      std::vector<CellContent> contents;
      for (auto it = from; it != column.end() && it->row <= run.area.bottom; ++it) {
        const Value& v = *it->value;
        if (v.is_null() || v.kind() == Value::Kind::kBinary) continue;  // an empty cell
        if (v.kind() == Value::Kind::kText && v.text().empty()) continue;
        CellContent content;
        if (v.kind() == Value::Kind::kText) {
          content.text = &v.text();
        } else {
          CellAny(v) >>= content.number;
        }
        values.push_back(it->value);
        contents.push_back(content);
      }
      auto& pick = picks[static_cast<std::size_t>(c - l)];
      for (std::size_t k : CellsToMeasure(contents, look, alike, kPruneAbove)) {
        pick.push_back(values[k]);
      }
      rows = std::max(rows, pick.size());
    }
    if (rows == 0) continue;
    if (top + static_cast<int>(rows) - 1 > run.area.bottom) {
      for (int c = l; c <= r; ++c) plain[static_cast<std::size_t>(c - left)] = true;
      continue;
    }
    const Block area{top, l, top + static_cast<int>(rows) - 1, r};
    movement->copyRange(css::table::CellAddress(scratch.index(), l, top), RangeAddress(tab, area));
    Sequence<Sequence<Any>> data(static_cast<sal_Int32>(rows));
    for (std::size_t j = 0; j < rows; ++j) {
      Sequence<Any> line(r - l + 1);
      for (std::size_t k = 0; k < picks.size(); ++k) {
        const auto& pick = picks[k];
        line[static_cast<sal_Int32>(k)] =
            pick.empty() ? Any(OUString()) : CellAny(*pick[j < pick.size() ? j : 0]);
      }
      data[static_cast<sal_Int32>(j)] = line;
    }
    Query<css::sheet::XCellRangeData>(Cells(sc, area.left, area.top, area.right, area.bottom))
        ->setDataArray(data);
    for (std::size_t k = 0; k < picks.size(); ++k) {
      chosen_in[static_cast<std::size_t>(l - left) + k] += static_cast<long>(picks[k].size());
    }
  }
  for (std::size_t i = 0; i < columns; ++i) {
    if (!plain[i]) report.chosen_cells += chosen_in[i];
  }

  // Fit the scratch columns, and give the sheet's columns their widths; the
  // office's fit also shows hidden columns.
  if (std::find(plain.begin(), plain.end(), false) != plain.end()) {
    FitColumnsPlainly(sc, left, right);
    auto from = Query<css::table::XColumnRowRange>(Cells(sc, left, 0, right, 0))->getColumns();
    auto to = Query<css::table::XColumnRowRange>(Cells(sheet, left, 0, right, 0))->getColumns();
    for (std::size_t i = 0; i < columns; ++i) {
      if (plain[i]) continue;
      const auto index = static_cast<sal_Int32>(i);
      Props(to->getByIndex(index))
          ->setPropertyValue("Width", Props(from->getByIndex(index))->getPropertyValue("Width"));
    }
    ColumnsOf(sheet, left, right)->setPropertyValue("IsVisible", Any(true));
  }
  for (std::size_t i = 0; i < columns;) {
    if (!plain[i]) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j + 1 < columns && plain[j + 1]) ++j;
    FitColumnsPlainly(sheet, left + static_cast<int>(i), left + static_cast<int>(j));
    report.measured_plainly += static_cast<int>(j - i + 1);
    i = j + 1;
  }
  return report;
}

}  // namespace kestrin::automation::uno
