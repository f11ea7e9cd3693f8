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
#include <com/sun/star/table/XCell.hpp>

#include "automation/failure.h"
#include "automation/uno/addresses.h"
#include "automation/uno/cell_batch.h"
#include "automation/uno/number_formats.h"
#include "automation/uno/office_process.h"
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

  // Runs one request to the office under the call time limit, turning every
  // failure into an AutomationError: the office gone or timed out (after
  // which every call fails), a workbook closed behind the program's back, or
  // a refusal (1004). Requests that reach the office call Sync() first.
  template <class F>
  auto Call(const std::string& what, F&& f) -> decltype(f()) {
    if (ended_) {
      throw AutomationError(kDisconnected, what + ": the office has been quit or was lost; " +
                                               "attach to or start an office again");
    }
    if (process_ && !process_->Alive()) {
      ended_ = true;
      throw AutomationError(kDisconnected, what + ": the office has ended unexpectedly");
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
      Lost(what, e);
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
  // ends it. Never throws for a private office; afterwards every call fails.
  void Quit();

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
  [[noreturn]] void Lost(const std::string& what, const css::uno::Exception& e);
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
  std::optional<CellPos> cursor_;
  // Without batching: the cell the last Goto selected, until another request.
  css::uno::Reference<css::table::XCell> cursor_cell_;
  bool cursor_selected_ = true;

  // Destroyed first: its thread may touch connection_ and process_.
  std::unique_ptr<Watchdog> watchdog_;
};

using SessionPtr = std::shared_ptr<Session>;

// The application object for a session.
std::shared_ptr<XlApplication> MakeApplication(SessionPtr session);

}  // namespace kestrin::automation::uno
