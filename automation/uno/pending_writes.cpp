#include "automation/uno/pending_writes.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
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

void PendingWrites::Flush() {
  cursor_cell_.clear();  // any other request may change sheets or cells
  SendLines();
  SendCells();
  if (cursor_ && !cursor_selected_ && sheet_.is() && books_.Find(doc_)) {
    Reference<css::view::XSelectionSupplier> sel(Workbooks::View(doc_), UNO_QUERY_THROW);
    sel->select(Any(sheet_->getCellByPosition(cursor_->col, cursor_->row)));
  }
  cursor_selected_ = true;
  sheet_.clear();
  doc_.clear();
}

void PendingWrites::SendLines() {
  if (!lines_) return;
  Lines lines = std::move(*lines_);
  lines_.reset();
  // One request: the office applies the diagonals of every cell in one pass.
  // Names in ascending order, as the interface asks.
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
  try {
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
