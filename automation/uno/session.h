// One attachment to an office: its connection (and process, when this
// program started it), the workbooks opened through it, and the cell values
// waiting to be sent. Shared by the application object and every handle
// taken from it. Internal to automation/uno/.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/BorderLine2.hpp>
#include <com/sun/star/table/TableBorder2.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>

#include "automation/failure.h"
#include "automation/uno/addresses.h"
#include "automation/uno/cell_batch.h"
#include "automation/uno/number_formats.h"
#include "automation/uno/office_process.h"
#include "automation/uno/office_share.h"
#include "automation/uno/uno_excel.h"
#include "automation/uno/uno_runtime.h"
#include "automation/uno/uno_util.h"

namespace kestrin::automation::uno {

// A workbook this program opened.
struct Book {
  css::uno::Reference<css::sheet::XSpreadsheetDocument> doc;
  std::filesystem::path path;
  bool backed_up = false;  // copied before its first save in this session
  bool shown = false;      // its view is visible (without a window when headless)
  bool on_screen = false;  // the user can see its window
  // The file's own view settings (active sheet, selection) are applied by
  // the first activation of the view; a choice the program made before that
  // is put back afterwards.
  bool view_applied = false;
  bool view_chosen = false;
  // Its number formats, looked up on first use.
  std::optional<NumberFormatKeys> formats;
};

class Session {
 public:
  // `process` is null for an office this program attached to. Throws a UNO
  // exception when the office offers no desktop.
  Session(UnoOptions options, std::unique_ptr<OfficeProcess> process,
          std::unique_ptr<OfficeConnection> connection, bool headless);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  // Sends pending cells; leaves the office and its workbooks as they are.
  ~Session();

  const UnoOptions& options() const { return options_; }
  bool batching() const { return options_.batch_cells; }

  // What a request does, in the user's terms, for the description of its
  // failure: "clearing cells B3:F103", followed by the sheet and the
  // workbook when they are given (their names are looked up only then).
  struct Task {
    Task(const char* action) : action(action) {}
    Task(std::string action) : action(std::move(action)) {}
    Task(std::string action, css::uno::Reference<css::sheet::XSpreadsheetDocument> doc,
         css::uno::Reference<css::sheet::XSpreadsheet> sheet = {})
        : action(std::move(action)), doc(std::move(doc)), sheet(std::move(sheet)) {}
    std::string action;
    css::uno::Reference<css::sheet::XSpreadsheetDocument> doc;
    css::uno::Reference<css::sheet::XSpreadsheet> sheet;
  };

  // Runs one request to the office under the call time limit, turning every
  // failure into an AutomationError: the office gone or timed out (after
  // which every call fails), a workbook closed behind the program's back, or
  // a refusal (1004). Descriptions say what failed in the user's terms and
  // keep the office's own words only where they tell something (never its
  // source locations or type names). Requests that reach the office call
  // Sync() first.
  template <class F>
  auto Call(const Task& task, F&& f) -> decltype(f()) {
    if (ended_) {
      throw AutomationError(kDisconnected, Describe(task, false) +
                                               ": the office has been quit or was lost; attach to "
                                               "or start an office again");
    }
    if (process_ && !process_->Alive()) {
      LoseOffice();
      throw AutomationError(kDisconnected,
                            Describe(task, false) + ": the office has ended unexpectedly");
    }
    watchdog_->Arm(options_.call_timeout);
    struct Disarm {
      Watchdog& w;
      ~Disarm() { w.Disarm(); }
    } disarm{*watchdog_};
    try {
      return f();
    } catch (const AutomationError&) {
      throw;
    } catch (const css::uno::Exception& e) {
      Lost(task, e);
    }
  }

  // --- workbooks: all of these run inside Call() ----------------------------

  // Loads the file hidden and makes it the active workbook (an open one is
  // only made active). Throws 1004 when it is missing or unreadable.
  void Open(const std::string& path);
  // The workbook opened or activated last; throws 91 when there is none.
  Book& ActiveBook();
  // The entry of an open workbook, or null.
  Book* BookOf(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);
  void MakeActive(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);
  static css::uno::Reference<css::sheet::XSpreadsheetView> View(
      const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);
  css::uno::Reference<css::sheet::XSpreadsheet> ActiveSheetOf(Book& book);
  // Stores the workbook in its own file and format, after a backup copy on
  // its first save; the saved file opens on the active sheet.
  void Save(Book& book);
  void CloseBook(Book& book, bool save_changes);
  // Shows every workbook to the user, or hides them. Throws 1004 without a
  // display.
  void SetVisible(bool on);
  // Closes the hidden workbooks and, when this program started the office,
  // ends it, or leaves that to the last run of the program still using it
  // (OfficeShare), as the last one also ends an office a run wanted ended.
  // Never throws for a private office; afterwards every call fails.
  void Quit();
  // The session's share of the office among the program's runs, held until
  // it quits, is destroyed or loses the office.
  void HoldShare(std::unique_ptr<OfficeShare> share) { share_ = std::move(share); }

  // --- cells and selection ----------------------------------------------------

  // Selects one cell of the active sheet; with batching only remembered.
  // Throws 1004 for a malformed reference or one off the sheet.
  void Goto(std::string_view reference);
  // The active cell: the one chosen by the last Goto, else the first cell of
  // the office's selection.
  CellPos ActiveCellPos();
  // The value of the active cell at `pos`: kept for the next Sync() when
  // batching, else written at once.
  void PutActiveCell(CellPos pos, const Value& value);
  // Writes one cell now, with the number format its value needs.
  void WriteCell(Book& book, const css::uno::Reference<css::sheet::XSpreadsheet>& sheet,
                 CellPos pos, const Value& value);
  // Writes one value into `cell` with the number format it needs (a date
  // format only where the cell's format is General).
  void WriteValue(Book& book, const css::uno::Reference<css::table::XCell>& cell,
                  const Value& value);
  // Sends pending cells in blocks and selects the last cell gone to.
  void Sync();
  // Throws 1004 when `block` lies beyond the grid of the book's file format
  // (an .xls sheet has 65,536 rows and 256 columns).
  static void CheckInGrid(const Book& book, const Block& block, std::string_view text);

  // Blocks written into that sheet of the book (by name) that nothing has
  // changed since; null when there are none or the sheet is another one.
  const std::vector<ValueBlock>* WrittenInto(
      const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc,
      const css::uno::Reference<css::sheet::XSpreadsheet>& sheet);
  // Cells may have changed in other ways than by written blocks.
  void ForgetWritten();

  // --- ruled lines ---------------------------------------------------------------

  // Draws (or, with an empty line, removes) the line `border` (an
  // automation::xl border index: an edge, inside lines or a diagonal) of the
  // block of `sheet` that `range` covers. The lines of one block are kept and
  // go to the office in one request before any other request (Sync()),
  // instead of one request over every cell of the block per line and
  // property; the last setting of each line counts. A refusal is reported
  // with `task`.
  void DrawLine(const css::uno::Reference<css::sheet::XSpreadsheet>& sheet, const Block& block,
                const css::uno::Reference<css::table::XCellRange>& range, int border,
                const css::table::BorderLine2& look, Task task);

  // The selection moved away from the last Goto (another sheet, a range).
  void ForgetCursor();
  void SetCursor(CellPos pos);
  // The program chose the book's active sheet or selection.
  void ChoseView(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);

 private:
  enum class ShowMode {
    kOnScreen,   // for the user
    kOffScreen,  // a real window, placed where nobody sees it
    kNoWindow,   // in a headless office, where showing creates no window
  };

  // Turns a failed request into the AutomationError that fits.
  [[noreturn]] void Lost(const Task& task, const css::uno::Exception& e);
  // The office is gone for this session: every call fails from now on.
  void LoseOffice() {
    ended_ = true;
    share_.reset();
  }
  // Leaves the office as OfficeShare says, ending it when this session is
  // the one to; `want_end` for an office this program started.
  void LeaveOffice(bool want_end);
  // "Clearing cells B3:F103 on sheet 'Sales' of workbook 'Report.xls'"; the
  // sheet's name is asked of the office only when `office_answers`.
  std::string Describe(const Task& task, bool office_answers);
  bool BridgeAlive();
  static bool DocumentAlive(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);
  Book* FindBook(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);
  // Makes the book's view visible and current, keeping the active sheet and
  // selection that the program chose while it was hidden.
  void Show(Book& book, ShowMode mode);
  void Hide(Book& book);
  static void CloseDocument(const css::uno::Reference<css::lang::XComponent>& component);
  static NumberFormatKeys& Formats(Book& book);
  void WriteBlock(Book* book, const ValueBlock& block);
  // Sends the pending cells in blocks and keeps them for the column fit.
  void SendBatch();
  void KeepWritten(std::vector<ValueBlock> blocks);
  // Sends the lines DrawLine() kept, in one request.
  void SendLines();

  UnoOptions options_;
  std::unique_ptr<OfficeProcess> process_;
  std::unique_ptr<OfficeConnection> connection_;
  bool headless_;
  bool ended_ = false;
  css::uno::Reference<css::frame::XDesktop2> desktop_;
  std::vector<Book> books_;  // in the order they were made active; back() is active

  CellBatch batch_;
  css::uno::Reference<css::sheet::XSpreadsheet> batch_sheet_;
  css::uno::Reference<css::sheet::XSpreadsheetDocument> batch_book_;
  // Blocks sent, kept for fitting columns until cells change otherwise.
  std::vector<ValueBlock> written_;
  std::size_t written_cells_ = 0;  // values held in written_
  bool written_full_ = false;      // more were written than are kept: none are
  css::uno::Reference<css::sheet::XSpreadsheetDocument> written_book_;
  std::string written_sheet_;
  std::optional<CellPos> cursor_;
  // Without batching: the cell the last Goto selected, until another request.
  css::uno::Reference<css::table::XCell> cursor_cell_;
  bool cursor_selected_ = true;

  // Lines drawn on one block and not yet sent.
  struct PendingLines {
    css::uno::Reference<css::sheet::XSpreadsheet> sheet;
    Block block;
    css::uno::Reference<css::table::XCellRange> range;
    css::table::TableBorder2 edges;  // the lines set, marked valid
    std::optional<css::table::BorderLine2> diagonal_down, diagonal_up;
    Task task;
  };
  std::optional<PendingLines> lines_;

  std::unique_ptr<OfficeShare> share_;

  // Destroyed first: its thread may touch connection_ and process_.
  std::unique_ptr<Watchdog> watchdog_;
};

using SessionPtr = std::shared_ptr<Session>;

// The application object for a session.
std::shared_ptr<XlApplication> MakeApplication(SessionPtr session);

}  // namespace kestrin::automation::uno
