#include "automation/uno/pending_writes.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <com/sun/star/beans/PropertyState.hpp>
#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/beans/XPropertyState.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetOperation.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include "automation/messages.h"
#include "automation/uno/number_formats.h"
#include "automation/uno/uno_util.h"

namespace kestrin::automation::uno {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY_THROW;

namespace {

// "cell B3" or "cells B3:F103".
std::string CellsText(const Block& b) {
  std::string first = ColumnLetters(b.left) + std::to_string(b.top + 1);
  if (b.top == b.bottom && b.left == b.right) return msg::kTaskCell({first});
  return msg::kTaskCell({first + ":" + ColumnLetters(b.right) + std::to_string(b.bottom + 1)});
}

// Blocks of fewer rows are sent with the office adjusting their heights at
// once: a few rows at a time (a heading, every other row) would each owe an
// adjustment of their own.
constexpr int kRowsWorthHolding = 32;

// The office's adjustment of row heights held back for the document while
// it lives; released however the writes under it end.
class HeightsHeld {
 public:
  explicit HeightsHeld(const Reference<css::sheet::XSpreadsheetDocument>& doc)
      : props_(Props(doc)) {
    props_->setPropertyValue("IsAdjustHeightEnabled", Any(false));
  }
  HeightsHeld(const HeightsHeld&) = delete;
  HeightsHeld& operator=(const HeightsHeld&) = delete;
  ~HeightsHeld() {
    try {
      props_->setPropertyValue("IsAdjustHeightEnabled", Any(true));
    } catch (const css::uno::Exception&) {
      // The office is gone with the document; nothing is held any more.
    }
  }

 private:
  Reference<css::beans::XPropertySet> props_;
};

// The office hands out a new object for a sheet each time one is asked for,
// so one sheet is known by its workbook and its place among the sheets
// (which the objects follow when sheets are inserted or moved).
bool SameSheet(const Reference<css::sheet::XSpreadsheetDocument>& a_doc,
               const Reference<css::sheet::XSpreadsheet>& a,
               const Reference<css::sheet::XSpreadsheetDocument>& b_doc,
               const Reference<css::sheet::XSpreadsheet>& b) {
  if (a.get() == b.get()) return true;
  if (!(a_doc.get() == b_doc.get() || a_doc == b_doc)) return false;
  try {
    return SheetIndex(a) == SheetIndex(b);
  } catch (const css::uno::RuntimeException&) {
    return false;  // a sheet deleted since
  }
}

bool IsNoLine(const css::table::BorderLine2& line) {
  return line.OuterLineWidth == 0 && line.InnerLineWidth == 0 && line.LineWidth == 0;
}

// True when no cell of the range shows a diagonal: no cell has one of its
// own, and the cells share one style, which draws none.
bool NoCellShowsDiagonals(const Reference<css::table::XCellRange>& range) {
  // In ascending order, as the interfaces ask.
  const rtl::OUString names[] = {"CellStyle", "DiagonalBLTR2", "DiagonalTLBR2"};
  const Sequence<css::beans::PropertyState> states =
      Query<css::beans::XPropertyState>(range)->getPropertyStates(
          Sequence<rtl::OUString>(names, 3));
  if (states[0] != css::beans::PropertyState_DIRECT_VALUE) return false;  // styles differ
  if (states[1] != css::beans::PropertyState_DEFAULT_VALUE ||
      states[2] != css::beans::PropertyState_DEFAULT_VALUE) {
    return false;
  }
  const Sequence<Any> values = Query<css::beans::XMultiPropertySet>(range)->getPropertyValues(
      Sequence<rtl::OUString>(names + 1, 2));
  for (const Any& v : values) {
    css::table::BorderLine2 line;
    if (!(v >>= line) || !IsNoLine(line)) return false;
  }
  return true;
}

}  // namespace

PendingWrites::PendingWrites(const UnoOptions& options, CallPolicy& policy, Workbooks& books,
                             WrittenBlocks& written)
    : options_(options), policy_(policy), books_(books), written_(written) {}

void PendingWrites::Aim(const Reference<css::sheet::XSpreadsheetDocument>& doc,
                        const Reference<css::sheet::XSpreadsheet>& sheet) {
  doc_ = doc;
  sheet_ = sheet;
}

void PendingWrites::MoveCursor(CellPos pos) {
  cursor_ = pos;
  cursor_selected_ = false;
}

void PendingWrites::CursorAt(CellPos pos, Reference<css::table::XCell> cell) {
  cursor_ = pos;
  cursor_cell_ = std::move(cell);
  cursor_selected_ = true;
}

Reference<css::table::XCell> PendingWrites::CellAtCursor(CellPos pos) const {
  if (cursor_cell_.is() && cursor_ && *cursor_ == pos) return cursor_cell_;
  return {};
}

void PendingWrites::ForgetCursor() {
  cursor_.reset();
  cursor_cell_.clear();
}

void PendingWrites::DrawLine(const Reference<css::sheet::XSpreadsheet>& sheet, const Block& block,
                             const Reference<css::table::XCellRange>& range, int border,
                             const css::table::BorderLine2& look, const Task& task) {
  if (lines_ &&
      (lines_->block != block || (lines_->sheet.get() != sheet.get() && lines_->sheet != sheet))) {
    SendLines();
  }
  if (!lines_) lines_ = Lines{sheet, block, range, {}, {}, {}, task};
  css::table::TableBorder2& e = lines_->edges;
  switch (border) {
    case xl::kEdgeLeft:
      e.LeftLine = look;
      e.IsLeftLineValid = true;
      break;
    case xl::kEdgeTop:
      e.TopLine = look;
      e.IsTopLineValid = true;
      break;
    case xl::kEdgeBottom:
      e.BottomLine = look;
      e.IsBottomLineValid = true;
      break;
    case xl::kEdgeRight:
      e.RightLine = look;
      e.IsRightLineValid = true;
      break;
    case xl::kInsideVertical:
      e.VerticalLine = look;
      e.IsVerticalLineValid = true;
      break;
    case xl::kInsideHorizontal:
      e.HorizontalLine = look;
      e.IsHorizontalLineValid = true;
      break;
    case xl::kDiagonalDown:
      lines_->diagonal_down = look;
      break;
    case xl::kDiagonalUp:
      lines_->diagonal_up = look;
      break;
    default:
      throw AutomationError(
          kAppDefined,
          msg::kCannotGetProperty({"Range", "Borders", msg::kBadIndex({std::to_string(border)})}));
  }
}

void PendingWrites::Flush(unsigned leaves) {
  cursor_cell_.clear();  // any other request may change sheets or cells
  SendLines();
  SendCells();
  if ((leaves & kLeavesRowHeights) == 0) AdjustOwedRows();
  if (cursor_ && !cursor_selected_ && sheet_.is() && books_.Find(doc_)) {
    Reference<css::view::XSelectionSupplier> sel(Workbooks::View(doc_), UNO_QUERY_THROW);
    sel->select(Any(sheet_->getCellByPosition(cursor_->col, cursor_->row)));
  }
  cursor_selected_ = true;
  sheet_.clear();
  doc_.clear();
}

void PendingWrites::Owe(const Block& a) {
  if (!owed_.empty()) {
    // The bands of one table follow each other: one stretch of rows.
    OwedRows& last = owed_.back();
    const Block& b = last.block;
    if (SameSheet(last.doc, last.sheet, doc_, sheet_) && b.left == a.left && b.right == a.right &&
        a.top <= b.bottom + 1 && a.bottom + 1 >= b.top) {
      last.block = Block{std::min(a.top, b.top), a.left, std::max(a.bottom, b.bottom), a.right};
      return;
    }
  }
  owed_.push_back(OwedRows{doc_, sheet_, a});
}

void PendingWrites::RowsFitted(const Reference<css::sheet::XSpreadsheetDocument>& doc,
                               const Reference<css::sheet::XSpreadsheet>& sheet, int top,
                               int bottom) {
  std::vector<OwedRows> still;
  for (OwedRows& o : owed_) {
    if (!SameSheet(o.doc, o.sheet, doc, sheet) || o.block.bottom < top || o.block.top > bottom) {
      still.push_back(std::move(o));
      continue;
    }
    // What lies outside the fitted rows is owed still.
    if (o.block.top < top) {
      still.push_back(
          OwedRows{o.doc, o.sheet, Block{o.block.top, o.block.left, top - 1, o.block.right}});
    }
    if (o.block.bottom > bottom) {
      still.push_back(
          OwedRows{o.doc, o.sheet, Block{bottom + 1, o.block.left, o.block.bottom, o.block.right}});
    }
  }
  owed_ = std::move(still);
}

void PendingWrites::AdjustOwedRows() {
  std::vector<OwedRows> owed = std::move(owed_);
  owed_.clear();
  for (const OwedRows& o : owed) {
    if (books_.Find(o.doc) == nullptr) continue;  // closed: nothing to adjust
    const Block& b = o.block;
    try {
      // Clearing nothing is a change after which the office adjusts the
      // heights of the rows concerned, as it does after any other: rows of
      // a height of their own keep it. The cells are those written, so a
      // protected sheet allows it where it allowed the values.
      Query<css::sheet::XSheetOperation>(
          o.sheet->getCellRangeByPosition(b.left, b.top, b.right, b.bottom))
          ->clearContents(0);
    } catch (const css::uno::Exception& e) {
      policy_.Fail(Task(msg::kTaskOn({CellsText(b), msg::kTaskWrite()}), o.doc, o.sheet), e);
    }
  }
}

void PendingWrites::SendLines() {
  if (!lines_) return;
  Lines lines = std::move(*lines_);
  lines_.reset();
  try {
    // Taking away diagonals that no cell has is left out: it would still
    // give every cell a format of its own, and have the office measure every
    // row's height again.
    const bool only_taken_away = (!lines.diagonal_up || IsNoLine(*lines.diagonal_up)) &&
                                 (!lines.diagonal_down || IsNoLine(*lines.diagonal_down));
    if ((lines.diagonal_up || lines.diagonal_down) && only_taken_away &&
        NoCellShowsDiagonals(lines.range)) {
      lines.diagonal_up.reset();
      lines.diagonal_down.reset();
    }
    // One request: the office applies the diagonals of every cell in one
    // pass. Names in ascending order, as the interface asks.
    std::vector<rtl::OUString> names;
    std::vector<Any> values;
    if (lines.diagonal_up) {
      names.emplace_back("DiagonalBLTR2");
      values.emplace_back(*lines.diagonal_up);
    }
    if (lines.diagonal_down) {
      names.emplace_back("DiagonalTLBR2");
      values.emplace_back(*lines.diagonal_down);
    }
    const css::table::TableBorder2& edges = lines.edges;
    if (edges.IsLeftLineValid || edges.IsTopLineValid || edges.IsBottomLineValid ||
        edges.IsRightLineValid || edges.IsVerticalLineValid || edges.IsHorizontalLineValid) {
      names.emplace_back("TableBorder2");
      values.emplace_back(edges);
    }
    if (names.empty()) return;
    Query<css::beans::XMultiPropertySet>(lines.range)
        ->setPropertyValues(
            Sequence<rtl::OUString>(names.data(), static_cast<sal_Int32>(names.size())),
            Sequence<Any>(values.data(), static_cast<sal_Int32>(values.size())));
  } catch (const css::uno::Exception& e) {
    policy_.Fail(lines.task, e);
  }
}

void PendingWrites::SendCells() {
  if (batch_.empty() || !sheet_.is()) return;
  Book* book = books_.Find(doc_);
  std::vector<ValueBlock> blocks = batch_.TakeBlocks();
  for (const ValueBlock& block : blocks) {
    // A refusal names the cells it concerns, not the request that sent them.
    try {
      WriteBlock(book, block);
    } catch (const css::uno::Exception& e) {
      policy_.Fail(Task(msg::kTaskOn({CellsText(block.area), msg::kTaskWrite()}), doc_, sheet_), e);
    }
  }
  if (book != nullptr) {
    written_.Add(book->doc.get(), SheetName(sheet_), std::move(blocks), policy_.changes());
  }
}

void PendingWrites::WriteBlock(Book* book, const ValueBlock& block) {
  const Block& a = block.area;
  const int rows = a.bottom - a.top + 1, cols = a.right - a.left + 1;
  std::optional<HeightsHeld> held;
  if (book != nullptr && rows >= kRowsWorthHolding) {
    // Owed from before the first value goes, so that rows written before a
    // refusal get their adjustment too.
    Owe(a);
    held.emplace(doc_);
  }
  // The whole block in one transfer, unless its values would take more
  // memory than a transfer should hold at once.
  const int rows_per_call = std::max(1, options_.max_cells_per_transfer / cols);
  for (int first = 0; first < rows; first += rows_per_call) {
    const int count = std::min(rows_per_call, rows - first);
    Sequence<Sequence<Any>> data(count);
    Sequence<Any>* out_rows = data.getArray();
    for (int r = 0; r < count; ++r) {
      Sequence<Any> row(cols);
      Any* out = row.getArray();
      for (int c = 0; c < cols; ++c) out[c] = CellAny(block.at(a.top + first + r, a.left + c));
      out_rows[r] = std::move(row);
    }
    Reference<css::table::XCellRange> range =
        sheet_->getCellRangeByPosition(a.left, a.top + first, a.right, a.top + first + count - 1);
    Query<css::sheet::XCellRangeData>(range)->setDataArray(data);
  }
  if (book != nullptr) FormatWrittenCells(book->Formats(), book->doc, sheet_, block);
}

}  // namespace kestrin::automation::uno
