#include "automation/uno/session.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <map>
#include <thread>
#include <utility>

#include <com/sun/star/awt/PosSize.hpp>
#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellRangeContainer.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/util/CloseVetoException.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/util/XProtectable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include "automation/uno/backup.h"
#include "automation/uno/office_lock.h"
#include "automation/uno/office_words.h"
#include "automation/uno/user_dirs.h"

namespace kestrin::automation::uno {

namespace fs = std::filesystem;

namespace {

// "cell B3" or "cells B3:F103".
std::string CellsText(const Block& b) {
  std::string first = ColumnLetters(b.left) + std::to_string(b.top + 1);
  if (b.top == b.bottom && b.left == b.right) return "cell " + first;
  return "cells " + first + ":" + ColumnLetters(b.right) + std::to_string(b.bottom + 1);
}

std::string CannotOpen(const std::string& path, const css::uno::Exception& e) {
  const std::string words = OfficeWords(FromOU(e.Message));
  return "'" + path + "' cannot be opened as a workbook" + (words.empty() ? "" : ": " + words);
}

// Activates the frame of a window just shown. On an X display, and in a
// headless office, that is done from here. On Wayland the compositor
// activates a window it shows, through the office's own event loop, and
// activating it from here, off that loop, can end the office: that is waited
// for instead (up to 3 s), so that the view set afterwards is not replaced
// by the file's own when the activation comes.
void ActivateShown(const css::uno::Reference<css::frame::XFrame>& frame, bool headless) {
  if (headless || HaveXDisplay()) {
    frame->activate();
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (!frame->isActive() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

Session::Session(UnoOptions options, std::unique_ptr<OfficeProcess> process,
                 std::unique_ptr<OfficeConnection> connection, bool headless)
    : options_(std::move(options)),
      process_(std::move(process)),
      connection_(std::move(connection)),
      headless_(headless),
      watchdog_(std::make_unique<Watchdog>([this] {
        connection_->Close();
        if (process_) process_->Kill();
      })) {
  desktop_ = connection_->Desktop();
}

Session::~Session() {
  if (!ended_) {
    try {
      Call("sending the last written cells", [&] { Sync(); });
    } catch (...) {
    }
  }
  if (!ended_) LeaveOffice(false);
  share_.reset();
  watchdog_.reset();
}

std::string Session::Describe(const Task& task, bool office_answers) {
  std::string text = task.action;
  if (task.sheet.is() && office_answers) {
    try {
      const std::string name = "'" + SheetName(task.sheet) + "'";
      text += text.ends_with("the sheet") ? " " + name : " on sheet " + name;
    } catch (const css::uno::Exception&) {
    }
  }
  if (task.doc.is()) {
    if (const Book* book = FindBook(task.doc)) {
      const std::string name = "'" + book->path.filename().string() + "'";
      text += text.ends_with("workbook") ? " " + name : " of workbook " + name;
    }
  }
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
  return text;
}

void Session::Lost(const Task& task, const css::uno::Exception& e) {
  // A lost bridge shows as DisposedException or as a plain RuntimeException:
  // ask the desktop whether the office still answers (within the limit).
  bool office_gone = (process_ && !process_->Alive()) || !BridgeAlive();
  if (watchdog_->Fired()) {
    LoseOffice();
    throw AutomationError(kCallTimedOut, Describe(task, false) +
                                             ": the office did not answer within " +
                                             std::to_string(options_.call_timeout.count() / 1000) +
                                             " s and was " + (process_ ? "stopped" : "let go"));
  }
  if (office_gone) {
    LoseOffice();
    throw AutomationError(kDisconnected,
                          Describe(task, false) + ": the office has ended or crashed");
  }
  // The office is there; an object may be gone because a workbook was
  // closed in the office behind the program's back. Forget such workbooks
  // (after naming the task, which may need them).
  std::string what = Describe(task, true);
  std::string words = OfficeWords(FromOU(e.Message));
  if (words.empty() && task.sheet.is()) {
    // The office refuses changes to a protected sheet without saying why.
    try {
      Reference<css::util::XProtectable> protection(task.sheet, UNO_QUERY);
      if (protection.is() && protection->isProtected()) words = "the sheet is protected";
    } catch (const css::uno::Exception&) {
    }
  }
  size_t before = books_.size();
  books_.erase(std::remove_if(books_.begin(), books_.end(),
                              [](const Book& b) { return !DocumentAlive(b.doc); }),
               books_.end());
  if (books_.size() != before) {
    throw AutomationError(kAppDefined,
                          what + " failed: the workbook is no longer open in the office");
  }
  throw AutomationError(kAppDefined, what + " failed" + (words.empty() ? "" : ": " + words));
}

bool Session::BridgeAlive() {
  try {
    desktop_->getCurrentFrame();
    return true;
  } catch (const css::uno::Exception&) {
    return false;
  }
}

bool Session::DocumentAlive(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  try {
    Reference<css::frame::XModel> model(doc, UNO_QUERY_THROW);
    model->getURL();
    return model->getCurrentController().is();
  } catch (const css::uno::Exception&) {
    return false;
  }
}

void Session::Open(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(path, ec);
  if (path.empty() || !fs::is_regular_file(absolute, ec)) {
    throw AutomationError(kAppDefined, "'" + path +
                                           "' could not be found. Check the spelling of the "
                                           "file name and verify that the file exists.");
  }
  absolute = fs::weakly_canonical(absolute, ec);
  const std::string name = absolute.filename().string();
  // An office elsewhere that has the file open would be overwritten by our
  // save, and ours would open it read-only without a word: refuse it here,
  // before anything is cleared or written. A lock of our own (an office of
  // ours that ended without removing it) is no obstacle.
  auto held_elsewhere = [&]() -> std::optional<OfficeLock> {
    auto lock = ReadOfficeLock(absolute);
    if (lock && !TakenByUs(*lock)) return lock;
    return std::nullopt;
  };
  auto refuse_locked = [&](const OfficeLock& lock) {
    return AutomationError(kAppDefined, "The workbook '" + name + "' is open for editing by " +
                                            Holder(lock) +
                                            ". Nothing was written to it: export again once it "
                                            "has been closed there.");
  };
  bool already_open = false;
  for (const Book& b : books_) already_open |= b.path == absolute;
  if (!already_open) {
    if (auto lock = held_elsewhere()) throw refuse_locked(*lock);
  }
  Call("opening the workbook '" + path + "'", [&] {
    Sync();
    ForgetWritten();
    ForgetCursor();  // the active cell is the other workbook's now
    for (auto it = books_.begin(); it != books_.end(); ++it) {
      if (it->path != absolute) continue;
      if (DocumentAlive(it->doc)) {
        std::rotate(it, it + 1, books_.end());
        return;
      }
      books_.erase(it);  // closed in the office meanwhile: load it again
      break;
    }
    Sequence<css::beans::PropertyValue> args(2);
    args[0] = Prop("Hidden", Any(true));
    args[1] = Prop("ReadOnly", Any(false));
    Reference<css::frame::XComponentLoader> loader(desktop_, UNO_QUERY_THROW);
    Reference<css::lang::XComponent> component;
    try {
      component = loader->loadComponentFromURL(ToOU(FileUrl(absolute)), "_blank", 0, args);
    } catch (const css::lang::IllegalArgumentException& e) {
      throw AutomationError(kAppDefined, CannotOpen(path, e));
    } catch (const css::io::IOException& e) {
      throw AutomationError(kAppDefined, CannotOpen(path, e));
    }
    Reference<css::frame::XStorable> storable(component, UNO_QUERY);
    if (storable.is() && storable->isReadonly()) {
      CloseDocument(component);
      if (auto lock = held_elsewhere()) throw refuse_locked(*lock);
      throw AutomationError(kAppDefined,
                            "The workbook '" + name + "' can only be opened read-only (" +
                                (access(absolute.c_str(), W_OK) != 0
                                     ? std::string("you may not write to the file")
                                     : std::string("the office would not open it for editing")) +
                                "). Nothing was written to it.");
    }
    Reference<css::sheet::XSpreadsheetDocument> doc(component, UNO_QUERY);
    if (!doc.is()) {
      if (component.is()) CloseDocument(component);
      throw AutomationError(kAppDefined, "'" + path +
                                             "' cannot be opened: it is not a spreadsheet workbook "
                                             "the office can read");
    }
    Book book;
    book.doc = doc;
    book.path = absolute;
    books_.push_back(std::move(book));
    // Headless, the view can take the file's settings at once (no window
    // appears), so that the active sheet is the one the file opens on.
    if (headless_) Show(books_.back(), ShowMode::kNoWindow);
  });
}

Book& Session::ActiveBook() {
  if (books_.empty()) {
    throw AutomationError(errnum::kObjectNotSet,
                          "Object variable or With block variable not set: no workbook is open");
  }
  return books_.back();
}

Book* Session::FindBook(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  for (auto& b : books_) {
    if (b.doc == doc) return &b;
  }
  return nullptr;
}

void Session::MakeActive(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  if (!books_.empty() && books_.back().doc != doc) ForgetCursor();
  for (auto it = books_.begin(); it != books_.end(); ++it) {
    if (it->doc == doc) {
      std::rotate(it, it + 1, books_.end());
      return;
    }
  }
}

Reference<css::sheet::XSpreadsheetView> Session::View(
    const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  Reference<css::frame::XModel> model(doc, UNO_QUERY_THROW);
  Reference<css::sheet::XSpreadsheetView> view(model->getCurrentController(), UNO_QUERY);
  if (!view.is()) throw AutomationError(kAppDefined, "The workbook has no view in the office");
  return view;
}

Reference<css::sheet::XSpreadsheet> Session::ActiveSheetOf(Book& book) {
  return View(book.doc)->getActiveSheet();
}

void Session::Save(Book& book) {
  Sync();
  if (!book.backed_up) {
    BackUpWorkbook(
        book.path,
        options_.backup_dir.empty() ? PrivateCacheDir("backups") : fs::path(options_.backup_dir),
        std::chrono::system_clock::now());
    book.backed_up = true;
  }
  // The office writes the active sheet (and the selection) only from a
  // view that has been shown and is the current one: a hidden view is
  // shown for the save (off screen when there is a real display, and
  // hidden again), a shown one made current again.
  bool was_shown = book.shown;
  Show(book, headless_   ? ShowMode::kNoWindow
             : was_shown ? ShowMode::kOnScreen
                         : ShowMode::kOffScreen);
  Reference<css::frame::XStorable> storable(book.doc, UNO_QUERY_THROW);
  storable->store();
  if (!headless_ && !was_shown) Hide(book);
}

void Session::Show(Book& book, ShowMode mode) {
  Reference<css::sheet::XSpreadsheetView> view = View(book.doc);
  Reference<css::sheet::XSpreadsheet> sheet = view->getActiveSheet();
  Reference<css::view::XSelectionSupplier> selection(view, UNO_QUERY_THROW);
  Any selected = selection->getSelection();
  Reference<css::frame::XController> controller(view, UNO_QUERY_THROW);
  Reference<css::frame::XFrame> frame = controller->getFrame();
  Reference<css::awt::XWindow> window = frame->getContainerWindow();
  if (mode == ShowMode::kOffScreen) {
    window->setPosSize(-30000, -30000, 0, 0, css::awt::PosSize::X | css::awt::PosSize::Y);
  } else if (mode == ShowMode::kOnScreen && !book.shown) {
    window->setPosSize(0, 0, 0, 0, css::awt::PosSize::X | css::awt::PosSize::Y);
  }
  window->setVisible(true);
  ActivateShown(frame, headless_);
  if (mode == ShowMode::kOnScreen) {
    Reference<css::awt::XTopWindow> top(window, UNO_QUERY);
    if (top.is()) top->toFront();
  }
  book.shown = mode != ShowMode::kOffScreen;
  book.on_screen = mode == ShowMode::kOnScreen;
  if (book.view_chosen || book.view_applied) {
    view->setActiveSheet(sheet);
    if (selected.hasValue()) selection->select(selected);
  }
  book.view_applied = true;
}

void Session::Hide(Book& book) {
  Reference<css::frame::XController> controller(View(book.doc), UNO_QUERY_THROW);
  controller->getFrame()->getContainerWindow()->setVisible(false);
  book.shown = false;
  book.on_screen = false;
}

void Session::SetVisible(bool on) {
  Call(on ? "showing the workbooks" : "hiding the workbooks", [&] {
    Sync();
    if (on) {
      if (headless_ || !HaveDisplay()) {
        throw AutomationError(
            kAppDefined,
            "Cannot show the workbook: the office runs without a display (neither DISPLAY "
            "nor WAYLAND_DISPLAY is set, or the office was started headless)");
      }
      for (auto& book : books_) Show(book, ShowMode::kOnScreen);
      if (!books_.empty()) {
        Reference<css::frame::XController> c(View(books_.back().doc), UNO_QUERY_THROW);
        c->getFrame()->activate();
      }
    } else {
      for (auto& book : books_) Hide(book);
    }
  });
}

void Session::CloseBook(Book& book, bool save_changes) {
  if (save_changes) Save(book);
  ForgetWritten();
  ForgetCursor();
  Reference<css::lang::XComponent> component(book.doc, UNO_QUERY_THROW);
  auto doc = book.doc;
  books_.erase(
      std::remove_if(books_.begin(), books_.end(), [&](const Book& b) { return b.doc == doc; }),
      books_.end());
  CloseDocument(component);
}

void Session::CloseDocument(const Reference<css::lang::XComponent>& component) {
  Reference<css::util::XCloseable> closeable(component, UNO_QUERY);
  try {
    if (closeable.is()) {
      closeable->close(true);
      return;
    }
  } catch (const css::util::CloseVetoException&) {
  }
  component->dispose();
}

void Session::Quit() {
  if (ended_) return;
  try {
    Call("closing the office", [&] {
      Sync();
      // Hidden workbooks go; a workbook the user can see stays open in an
      // office that this program did not start.
      auto books = books_;
      for (auto& book : books) {
        if (process_ || !book.on_screen) {
          CloseDocument(Reference<css::lang::XComponent>(book.doc, UNO_QUERY_THROW));
        }
      }
      std::erase_if(books_, [&](const Book& book) { return process_ || !book.on_screen; });
      ForgetWritten();
    });
  } catch (const AutomationError&) {
    if (!process_) throw;
    // A private office that refuses to end is ended below.
  }
  LeaveOffice(process_ != nullptr);
  books_.clear();
  ended_ = true;
}

void Session::LeaveOffice(bool want_end) {
  auto end = [&] {
    bool refused = false;  // the office vetoed its termination
    try {
      Call("closing the office", [&] {
        if (!desktop_->terminate()) refused = true;
      });
    } catch (const AutomationError&) {
    }
    if (process_ &&
        !process_->WaitExit(refused ? std::chrono::seconds(2) : std::chrono::seconds(15))) {
      process_->Kill();
    }
  };
  const bool on_screen =
      std::any_of(books_.begin(), books_.end(), [](const Book& book) { return book.on_screen; });
  const auto wish = want_end    ? OfficeShare::Wish::kEnd
                    : on_screen ? OfficeShare::Wish::kKeep
                                : OfficeShare::Wish::kNone;
  // Held here: a call that finds the office lost drops share_.
  std::unique_ptr<OfficeShare> share = std::move(share_);
  if (share) {
    share->Leave(wish, end, options_.start_timeout + std::chrono::seconds(30));
  } else if (want_end) {
    end();
  }
}

void Session::Goto(std::string_view reference) {
  CellPos pos = ParseR1C1(reference);
  if (!books_.empty())
    CheckInGrid(books_.back(), Block{pos.row, pos.col, pos.row, pos.col}, reference);
  if (batching()) {
    if (!batch_sheet_.is()) {
      Call("selecting cell " + std::string(reference), [&] {
        Sync();
        batch_sheet_ = ActiveSheetOf(ActiveBook());
        batch_book_ = ActiveBook().doc;
        ActiveBook().view_chosen = true;
      });
    }
    cursor_ = pos;
    cursor_selected_ = false;
    return;
  }
  Call("selecting cell " + std::string(reference), [&] {
    Reference<css::sheet::XSpreadsheetView> view = View(ActiveBook().doc);
    Reference<css::table::XCell> cell = view->getActiveSheet()->getCellByPosition(pos.col, pos.row);
    Query<css::view::XSelectionSupplier>(view)->select(Any(cell));
    ActiveBook().view_chosen = true;
    cursor_ = pos;
    cursor_cell_ = cell;
    cursor_selected_ = true;
  });
}

CellPos Session::ActiveCellPos() {
  if (cursor_) return *cursor_;
  return Call("finding the active cell", [&] {
    Reference<css::view::XSelectionSupplier> sel(View(ActiveBook().doc), UNO_QUERY_THROW);
    Reference<css::sheet::XCellRangeAddressable> range(sel->getSelection(), UNO_QUERY);
    if (!range.is()) return CellPos{};
    auto a = range->getRangeAddress();
    return CellPos{a.StartRow, a.StartColumn};
  });
}

void Session::PutActiveCell(CellPos pos, const Value& value) {
  if (batching() && batch_sheet_.is()) {
    // Cells go to the office in bands of whole rows, so that however large
    // a table is, only one band of it waits here.
    if (batch_.size() >= static_cast<std::size_t>(options_.max_cells_per_transfer) &&
        batch_.last().row != pos.row) {
      Call(Task("writing cells", batch_book_, batch_sheet_), [&] { SendBatch(); });
    }
    batch_.Put(pos, value);
    return;
  }
  Call(Task("writing cell r" + std::to_string(pos.row + 1) + "c" + std::to_string(pos.col + 1),
            books_.empty() ? nullptr : books_.back().doc),
       [&] {
         Book& book = ActiveBook();
         // The cell the last Goto selected, unless another request came between.
         if (cursor_cell_.is() && cursor_ && *cursor_ == pos) {
           WriteValue(book, cursor_cell_, value);
         } else {
           WriteCell(book, ActiveSheetOf(book), pos, value);
         }
       });
}

void Session::WriteCell(Book& book, const Reference<css::sheet::XSpreadsheet>& sheet, CellPos pos,
                        const Value& value) {
  WriteValue(book, sheet->getCellByPosition(pos.col, pos.row), value);
}

void Session::WriteValue(Book& book, const Reference<css::table::XCell>& cell, const Value& value) {
  ForgetWritten();
  Any any = CellAny(value);
  double number = 0;
  if (any >>= number) {
    cell->setValue(number);
  } else {
    // setFormula with a text would parse it; the range-data path keeps
    // every text as text, "=1+1" and "00123" included.
    Reference<css::sheet::XCellRangeData> data(cell, UNO_QUERY_THROW);
    Sequence<Sequence<Any>> rows(1);
    rows[0] = Sequence<Any>(&any, 1);
    data->setDataArray(rows);
  }
  CellFormat format = FormatOf(value);
  if (format == CellFormat::kNone) return;
  NumberFormatKeys& formats = Formats(book);
  auto props = Props(cell);
  if (format != CellFormat::kBoolean) {
    sal_Int32 current = 0;
    props->getPropertyValue("NumberFormat") >>= current;
    if (!formats.IsGeneral(current)) return;  // the user's own format stays
  }
  props->setPropertyValue("NumberFormat", Any(formats.Key(format)));
}

NumberFormatKeys& Session::Formats(Book& book) {
  if (!book.formats) {
    book.formats.emplace(Reference<css::util::XNumberFormatsSupplier>(book.doc, UNO_QUERY_THROW));
  }
  return *book.formats;
}

void Session::DrawLine(const Reference<css::sheet::XSpreadsheet>& sheet, const Block& block,
                       const Reference<css::table::XCellRange>& range, int border,
                       const css::table::BorderLine2& look, Task task) {
  if (lines_ &&
      (lines_->block != block || (lines_->sheet.get() != sheet.get() && lines_->sheet != sheet))) {
    SendLines();
  }
  if (!lines_) lines_ = PendingLines{sheet, block, range, {}, {}, {}, std::move(task)};
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
      throw AutomationError(kAppDefined,
                            "Unable to get the Borders property of the Range "
                            "class: index " +
                                std::to_string(border));
  }
}

void Session::SendLines() {
  if (!lines_) return;
  PendingLines lines = std::move(*lines_);
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
    Lost(lines.task, e);
  }
}

void Session::Sync() {
  cursor_cell_.clear();  // any other request may change sheets or cells
  SendLines();
  SendBatch();
  if (cursor_ && !cursor_selected_ && batch_sheet_.is() && FindBook(batch_book_)) {
    Reference<css::view::XSelectionSupplier> sel(View(batch_book_), UNO_QUERY_THROW);
    sel->select(Any(batch_sheet_->getCellByPosition(cursor_->col, cursor_->row)));
  }
  cursor_selected_ = true;
  batch_sheet_.clear();
  batch_book_.clear();
}

void Session::SendBatch() {
  if (batch_.empty() || !batch_sheet_.is()) return;
  Book* book = FindBook(batch_book_);
  std::vector<ValueBlock> blocks = batch_.TakeBlocks();
  for (const ValueBlock& block : blocks) {
    // A refusal names the cells it concerns, not the request that sent them.
    try {
      WriteBlock(book, block);
    } catch (const css::uno::Exception& e) {
      Lost(Task("writing " + CellsText(block.area), batch_book_, batch_sheet_), e);
    }
  }
  std::string sheet = SheetName(batch_sheet_);
  if (written_book_ != batch_book_ || written_sheet_ != sheet) {
    ForgetWritten();
    written_book_ = batch_book_;
    written_sheet_ = sheet;
  }
  KeepWritten(std::move(blocks));
}

void Session::KeepWritten(std::vector<ValueBlock> blocks) {
  for (ValueBlock& block : blocks) {
    if (written_full_) return;
    // Beyond the most cells kept, none are: a fit that knows only some of
    // the written cells copies the others and takes longer than measuring
    // them all where they are.
    if (written_cells_ + block.values.size() >
        static_cast<std::size_t>(options_.max_cells_kept_for_fit)) {
      const auto book = written_book_;
      const std::string sheet = written_sheet_;
      ForgetWritten();
      written_book_ = book;
      written_sheet_ = sheet;
      written_full_ = true;
      return;
    }
    written_cells_ += block.values.size();
    // A band that goes on where the last one ended, over the same columns,
    // extends its block: the fit sees one block, as if sent at once.
    if (!written_.empty()) {
      ValueBlock& last = written_.back();
      if (last.area.left == block.area.left && last.area.right == block.area.right &&
          last.area.bottom + 1 == block.area.top) {
        last.area.bottom = block.area.bottom;
        last.values.insert(last.values.end(), std::make_move_iterator(block.values.begin()),
                           std::make_move_iterator(block.values.end()));
        continue;
      }
    }
    written_.push_back(std::move(block));
  }
}

void Session::WriteBlock(Book* book, const ValueBlock& block) {
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
    Reference<css::table::XCellRange> range = batch_sheet_->getCellRangeByPosition(
        a.left, a.top + first, a.right, a.top + first + count - 1);
    Query<css::sheet::XCellRangeData>(range)->setDataArray(data);
  }
  if (book == nullptr) return;
  // Dates and Yes/No values get their number format, dates only where the
  // format is General. All the cells of one format go in one request: each
  // request has the office go over the rows it touches again.
  const sal_Int16 tab = Address(batch_sheet_).Sheet;
  std::map<CellFormat, std::vector<css::table::CellRangeAddress>> targets;
  auto target = [&](CellFormat f, int column, int top, int bottom) {
    css::table::CellRangeAddress cells;
    cells.Sheet = tab;
    cells.StartColumn = cells.EndColumn = column;
    cells.StartRow = top;
    cells.EndRow = bottom;
    targets[f].push_back(cells);
  };
  NumberFormatKeys& formats = Formats(*book);
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
        if (!kept)
          kept = formats.KeptRows(batch_sheet_->getCellRangeByPosition(c, a.top, c, a.bottom));
        for (const RowSpan& span : SpansOutside({r, end}, *kept)) {
          target(f, c, span.first, span.second);
        }
      }
      r = end + 1;
    }
  }
  for (const auto& [f, ranges] : targets) {
    Reference<css::sheet::XSheetCellRangeContainer> cells(
        Query<css::lang::XMultiServiceFactory>(book->doc)->createInstance(
            "com.sun.star.sheet.SheetCellRanges"),
        UNO_QUERY_THROW);
    cells->addRangeAddresses(Sequence<css::table::CellRangeAddress>(
                                 ranges.data(), static_cast<sal_Int32>(ranges.size())),
                             false);
    Props(cells)->setPropertyValue("NumberFormat", Any(formats.Key(f)));
  }
}

void Session::CheckInGrid(const Book& book, const Block& block, std::string_view text) {
  // Checked for every cell written: the file's type only matters beyond the
  // smallest grid.
  if (block.bottom < 65536 && block.right < 256) return;
  const Grid grid = GridOf(book.path);
  if (block.bottom < grid.rows && block.right < grid.columns) return;
  throw AutomationError(kAppDefined, "\"" + std::string(text) +
                                         "\" lies beyond the last row or column of an .xls "
                                         "sheet (65536 rows, 256 columns)");
}

const std::vector<ValueBlock>* Session::WrittenInto(
    const Reference<css::sheet::XSpreadsheetDocument>& doc,
    const Reference<css::sheet::XSpreadsheet>& sheet) {
  if (written_.empty() || written_book_ != doc || !FindBook(doc) ||
      SheetName(sheet) != written_sheet_) {
    return nullptr;
  }
  return &written_;
}

void Session::ForgetWritten() {
  written_.clear();
  written_.shrink_to_fit();
  written_cells_ = 0;
  written_full_ = false;
  written_book_.clear();
  written_sheet_.clear();
}

void Session::ForgetCursor() {
  cursor_.reset();
  cursor_cell_.clear();
}

void Session::ChoseView(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  if (Book* book = FindBook(doc)) book->view_chosen = true;
}

void Session::SetCursor(CellPos pos) {
  cursor_ = pos;
  cursor_cell_.clear();
  cursor_selected_ = true;
}

Book* Session::BookOf(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  return FindBook(doc);
}

}  // namespace kestrin::automation::uno
