// One attachment to an office, shared by the application object and every
// handle taken from it, made of parts with contracts of their own:
// - CallPolicy (call_policy.h): the road every request takes (liveness, time
//   limit, pending writes sent first, failures as AutomationError);
// - Workbooks (workbooks.h): the workbooks opened, in the order made active;
// - PendingWrites (pending_writes.h): cells, lines and the active cell kept on
//   this side until the next request;
// - WrittenBlocks (written_blocks.h): what was written where, for the column
//   fit, valid until a request may have changed cells.
// The session itself holds the connection (and the process, when this
// program started the office) and does what spans the parts: opening,
// showing, saving and closing workbooks, the office's end, and writing
// single cells. Internal to automation/uno/.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/XCell.hpp>

#include "automation/failure.h"
#include "automation/uno/addresses.h"
#include "automation/uno/call_policy.h"
#include "automation/uno/office_process.h"
#include "automation/uno/office_share.h"
#include "automation/uno/pending_writes.h"
#include "automation/uno/uno_excel.h"
#include "automation/uno/uno_runtime.h"
#include "automation/uno/workbooks.h"
#include "automation/uno/written_blocks.h"

namespace kestrin::automation::uno {

class Session {
 public:
  // `process` is null for an office this program attached to. Throws a UNO
  // exception when the office offers no desktop.
  Session(UnoOptions options, std::unique_ptr<OfficeProcess> process,
          std::unique_ptr<OfficeConnection> connection, bool headless);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  // Sends pending writes; leaves the office and its workbooks as they are.
  ~Session();

  const UnoOptions& options() const { return options_; }

  using Task = ::kestrin::automation::uno::Task;

  // One request to the office under the call policy; `leaves`: Leaves flags.
  template <class F>
  auto Call(const Task& task, F&& f) -> decltype(f()) {
    return policy_.Call(task, std::forward<F>(f));
  }
  template <class F>
  auto Call(const Task& task, unsigned leaves, F&& f) -> decltype(f()) {
    return policy_.Call(task, leaves, std::forward<F>(f));
  }

  Workbooks& books() { return books_; }
  PendingWrites& pending() { return pending_; }

  // --- workbooks: each of these is one request ------------------------------------

  // Loads the file hidden and makes it the active workbook (an open one is
  // only made active). Throws 1004 when it is missing, unreadable, held
  // open by an office elsewhere or only readable.
  void Open(const std::string& path);
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

  // --- within a request --------------------------------------------------------------

  // Stores the workbook in its own file and format, after a backup copy on
  // its first save; the saved file opens on the active sheet.
  void Save(Book& book);
  void CloseBook(Book& book, bool save_changes);
  // The workbook `doc` becomes the active one; its selection is the office's.
  void MakeActive(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);
  // The program chose the book's active sheet or selection.
  void ChoseView(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);
  // Writes one value into a cell now, with the number format it needs (a
  // date format only where the cell's format is General).
  void WriteCell(Book& book, const css::uno::Reference<css::table::XCell>& cell,
                 const Value& value);

  // --- cells and selection --------------------------------------------------------

  // Selects one cell of the active sheet; when batching cells only
  // remembered. Throws 1004 for a malformed reference or one off the sheet.
  void Goto(std::string_view reference);
  // The active cell: the one chosen by the last Goto, else the first cell of
  // the office's selection.
  CellPos ActiveCellPos();
  // The value of the active cell at `pos`: kept for the next request when
  // batching, else written at once.
  void PutActiveCell(CellPos pos, const Value& value);
  // Throws 1004 when `block` lies beyond the grid of the book's file format
  // (an .xls sheet has 65,536 rows and 256 columns).
  static void CheckInGrid(const Book& book, const Block& block, std::string_view text);

  // Blocks written into that sheet of the book that no request since may
  // have changed; null when there are none or the sheet is another one.
  const std::vector<ValueBlock>* WrittenInto(
      const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc,
      const css::uno::Reference<css::sheet::XSpreadsheet>& sheet);

 private:
  // Throws 1004 when an office elsewhere holds the file open.
  static void RefuseIfHeldElsewhere(const std::filesystem::path& file);
  // Loads the file hidden, refusing what cannot be written back.
  void Load(const std::string& path, const std::filesystem::path& file);
  // Leaves the office as OfficeShare says, ending it when this session is
  // the one to; `want_end` for an office this program started.
  void LeaveOffice(bool want_end);

  UnoOptions options_;
  std::unique_ptr<OfficeProcess> process_;
  std::unique_ptr<OfficeConnection> connection_;
  bool headless_;
  css::uno::Reference<css::frame::XDesktop2> desktop_;
  Workbooks books_;
  CallPolicy policy_;  // stops its time limit's thread before the above go
  WrittenBlocks written_;
  PendingWrites pending_;
  std::unique_ptr<OfficeShare> share_;  // dropped when the office is lost
};

using SessionPtr = std::shared_ptr<Session>;

// The application object for a session.
std::shared_ptr<XlApplication> MakeApplication(SessionPtr session);

}  // namespace kestrin::automation::uno
