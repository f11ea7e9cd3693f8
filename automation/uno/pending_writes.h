// The writes kept on this side until the next request, and the one place
// that sends them. Cell values put one by one are sent as rectangular
// blocks; the ruled lines of one block go in one request; the active cell
// that the last Goto chose is selected once the cells are there. Flush()
// sends all of it, in that order, and the call policy calls it before every
// request that does not leave pending writes alone: nothing else has to
// remember to. The workbook ends up exactly as if each cell and line had
// been sent on its own. Internal to automation/uno/.
#pragma once

#include <optional>
#include <vector>

#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/BorderLine2.hpp>
#include <com/sun/star/table/TableBorder2.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>

#include "automation/uno/addresses.h"
#include "automation/uno/call_policy.h"
#include "automation/uno/cell_batch.h"
#include "automation/uno/uno_excel.h"
#include "automation/uno/workbooks.h"
#include "automation/uno/written_blocks.h"

namespace kestrin::automation::uno {

class PendingWrites {
 public:
  // Sent blocks are added to `written` at the policy's change count.
  PendingWrites(const UnoOptions& options, CallPolicy& policy, Workbooks& books,
                WrittenBlocks& written);
  PendingWrites(const PendingWrites&) = delete;
  PendingWrites& operator=(const PendingWrites&) = delete;

  // --- cell values ---------------------------------------------------------------

  // True when values put now go to a sheet chosen since the last Flush().
  bool aimed() const { return sheet_.is(); }
  // Values put until the next Flush() go to `sheet` of `doc`.
  void Aim(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc,
           const css::uno::Reference<css::sheet::XSpreadsheet>& sheet);
  // Keeps a value for the cell at `pos` of the aimed sheet; the last value
  // put in a cell counts.
  void Put(CellPos pos, Value value) { batch_.Put(pos, std::move(value)); }
  // How many values are kept, and the cell put last (when any are).
  std::size_t kept() const { return batch_.size(); }
  CellPos last_put() const { return batch_.last(); }
  // Sends the kept values now, as one band of a large table: the aim and
  // the active cell stay for later. A refusal is reported with a task
  // naming the cells concerned.
  void SendCells();

  // --- the active cell -------------------------------------------------------------

  // The active cell as the program last chose it, if it did since the
  // selection last moved otherwise.
  std::optional<CellPos> cursor() const { return cursor_; }
  // The active cell moves to `pos` of the aimed sheet; the office selects it
  // at the next Flush().
  void MoveCursor(CellPos pos);
  // The office has `pos` selected already; `cell`, when given, is that cell,
  // at hand until the next Flush().
  void CursorAt(CellPos pos, css::uno::Reference<css::table::XCell> cell = {});
  // The cell CursorAt() gave for `pos`, when no request came between; else
  // an empty reference.
  css::uno::Reference<css::table::XCell> CellAtCursor(CellPos pos) const;
  // The selection moved away from the program's choice (another sheet or
  // workbook, a range).
  void ForgetCursor();

  // --- ruled lines ---------------------------------------------------------------

  // Keeps the line `border` (an automation::xl border index: an edge, inside
  // lines or a diagonal) of `block` of `sheet`, which `range` covers; an
  // empty line removes it. The lines of one block go to the office together
  // (those of another block first); the last setting of each line counts.
  // A refusal is reported with `task`. Throws 1004 for an unknown index.
  void DrawLine(const css::uno::Reference<css::sheet::XSpreadsheet>& sheet, const Block& block,
                const css::uno::Reference<css::table::XCellRange>& range, int border,
                const css::table::BorderLine2& look, const Task& task);

  // --- row heights ---------------------------------------------------------------

  // Rows of whole blocks of values are sent with the office's adjustment of
  // row heights held back (it would measure every cell of a band once for
  // the values and again for their number formats); those rows owe it until
  // the next request that does not leave row heights alone, which has the
  // office adjust them once, as it would have: rows of a height of their
  // own keep it, the others fit their cells.
  //
  // The rows top..bottom of `sheet` in `doc` are fitted to their cells whatever
  // their heights were: nothing is owed for them any more.
  void RowsFitted(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc,
                  const css::uno::Reference<css::sheet::XSpreadsheet>& sheet, int top, int bottom);

  // Sends the kept lines, then the kept values in blocks (with the number
  // formats their values need), then selects the active cell; unless
  // `leaves` has kLeavesRowHeights, rows that owe the adjustment of their
  // heights get it. A refusal is reported with a task naming the cells or
  // lines concerned.
  void Flush(unsigned leaves = kLeavesNothing);

 private:
  struct Lines {
    css::uno::Reference<css::sheet::XSpreadsheet> sheet;
    Block block;
    css::uno::Reference<css::table::XCellRange> range;
    css::table::TableBorder2 edges;  // the lines set, marked valid
    std::optional<css::table::BorderLine2> diagonal_down, diagonal_up;
    Task task;
  };
  // Rows of one sheet owing the office's adjustment of their heights.
  struct OwedRows {
    css::uno::Reference<css::sheet::XSpreadsheetDocument> doc;
    css::uno::Reference<css::sheet::XSpreadsheet> sheet;
    Block block;  // the cells written there
  };
  void SendLines();
  void WriteBlock(Book* book, const ValueBlock& block);
  void Owe(const Block& block);
  void AdjustOwedRows();

  const UnoOptions& options_;
  CallPolicy& policy_;
  Workbooks& books_;
  WrittenBlocks& written_;

  CellBatch batch_;
  css::uno::Reference<css::sheet::XSpreadsheetDocument> doc_;
  css::uno::Reference<css::sheet::XSpreadsheet> sheet_;
  std::optional<CellPos> cursor_;
  bool cursor_selected_ = true;
  css::uno::Reference<css::table::XCell> cursor_cell_;
  std::optional<Lines> lines_;
  std::vector<OwedRows> owed_;
};

}  // namespace kestrin::automation::uno
