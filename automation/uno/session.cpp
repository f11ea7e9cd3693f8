#include "automation/uno/session.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include "automation/messages.h"
#include "automation/uno/backup.h"
#include "automation/uno/book_view.h"
#include "automation/uno/number_formats.h"
#include "automation/uno/office_lock.h"
#include "automation/uno/office_words.h"
#include "automation/uno/user_dirs.h"

namespace kestrin::automation::uno {

namespace fs = std::filesystem;

namespace {

std::string CannotOpen(const std::string& path, const css::uno::Exception& e) {
  const std::string words = OfficeWords(FromOU(e.Message));
  return words.empty() ? msg::kCannotOpenAsBook({path}) : msg::kCannotOpenAsBookWhy({path, words});
}

}  // namespace
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

Session::Session(UnoOptions options, std::unique_ptr<OfficeProcess> process,
                 std::unique_ptr<OfficeConnection> connection, bool headless)
    : options_(std::move(options)),
      process_(std::move(process)),
      connection_(std::move(connection)),
      headless_(headless),
      desktop_(connection_->Desktop()),
      policy_(options_.call_timeout, process_.get(), *connection_, desktop_, books_),
      written_(static_cast<std::size_t>(std::max(0, options_.max_cells_kept_for_fit))),
      pending_(options_, policy_, books_, written_) {
  policy_.SetFlush([this](unsigned leaves) { pending_.Flush(leaves); });
  policy_.SetOnLost([this] { share_.reset(); });
}

Session::~Session() {
  if (!policy_.ended()) {
    try {
      Call(msg::kTaskSendCells(), kLeavesCells, [] {});
    } catch (...) {
    }
  }
  if (!policy_.ended()) LeaveOffice(false);
  share_.reset();
}

void Session::Open(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(path, ec);
  if (path.empty() || !fs::is_regular_file(absolute, ec)) {
    throw AutomationError(kAppDefined, msg::kBookNotFound({path}));
  }
  absolute = fs::weakly_canonical(absolute, ec);
  // An office elsewhere that has the file open would be overwritten by our
  // save, and ours would open it read-only without a word: refuse it here,
  // before anything is cleared or written.
  if (books_.Find(absolute) == nullptr) RefuseIfHeldElsewhere(absolute);
  Call(msg::kTaskOpenBook({path}), [&] {
    pending_.ForgetCursor();  // the active cell is the other workbook's now
    if (Book* open = books_.Find(absolute)) {
      if (Workbooks::Alive(open->doc)) {
        books_.MakeActive(open->doc);
        return;
      }
      books_.Remove(open->doc);  // closed in the office meanwhile: load it again
    }
    Load(path, absolute);
  });
}

void Session::RefuseIfHeldElsewhere(const fs::path& file) {
  // A lock of our own (an office of ours that ended without removing it) is
  // no obstacle.
  auto lock = ReadOfficeLock(file);
  if (!lock || TakenByUs(*lock)) return;
  throw AutomationError(kAppDefined, msg::kBookHeld({file.filename().string(), Holder(*lock)}));
}

void Session::Load(const std::string& path, const fs::path& file) {
  Sequence<css::beans::PropertyValue> args(2);
  args[0] = Prop("Hidden", Any(true));
  args[1] = Prop("ReadOnly", Any(false));
  Reference<css::frame::XComponentLoader> loader(desktop_, UNO_QUERY_THROW);
  Reference<css::lang::XComponent> component;
  try {
    component = loader->loadComponentFromURL(ToOU(FileUrl(file)), "_blank", 0, args);
  } catch (const css::lang::IllegalArgumentException& e) {
    throw AutomationError(kAppDefined, CannotOpen(path, e));
  } catch (const css::io::IOException& e) {
    throw AutomationError(kAppDefined, CannotOpen(path, e));
  }
  Reference<css::frame::XStorable> storable(component, UNO_QUERY);
  if (storable.is() && storable->isReadonly()) {
    Workbooks::Close(component);
    RefuseIfHeldElsewhere(file);
    throw AutomationError(kAppDefined, msg::kBookReadOnly({file.filename().string(),
                                                           access(file.c_str(), W_OK) != 0
                                                               ? msg::kMayNotWrite()
                                                               : msg::kOfficeWouldNotEdit()}));
  }
  Reference<css::sheet::XSpreadsheetDocument> doc(component, UNO_QUERY);
  if (!doc.is()) {
    if (component.is()) Workbooks::Close(component);
    throw AutomationError(kAppDefined, msg::kNotAWorkbook({path}));
  }
  Book book;
  book.doc = doc;
  book.path = file;
  Book& added = books_.Add(std::move(book));
  // Headless, the view can take the file's settings at once (no window
  // appears), so that the active sheet is the one the file opens on.
  if (headless_) Show(added, ShowMode::kNoWindow);
}

void Session::MakeActive(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  if (!books_.empty() && books_.Active().doc != doc) pending_.ForgetCursor();
  books_.MakeActive(doc);
}

void Session::ChoseView(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  if (Book* book = books_.Find(doc)) book->view_chosen = true;
}

void Session::Save(Book& book) {
  if (!book.backed_up) {
    BackUpWorkbook(
        book.path,
        options_.backup_dir.empty() ? PrivateCacheDir("backups") : fs::path(options_.backup_dir),
        std::chrono::system_clock::now());
    book.backed_up = true;
  }
  Store(book, headless_);
}

void Session::SetVisible(bool on) {
  Call(on ? msg::kTaskShowBooks() : msg::kTaskHideBooks(), kLeavesCells, [&] {
    if (!on) {
      for (auto& book : books_.all()) Hide(book);
      return;
    }
    if (headless_ || !HaveDisplay()) {
      throw AutomationError(kAppDefined, msg::kNoDisplay());
    }
    for (auto& book : books_.all()) Show(book, ShowMode::kOnScreen);
    if (!books_.empty()) {
      Reference<css::frame::XController> c(Workbooks::View(books_.Active().doc), UNO_QUERY_THROW);
      c->getFrame()->activate();
    }
  });
}

void Session::CloseBook(Book& book, bool save_changes) {
  if (save_changes) Save(book);
  pending_.ForgetCursor();
  Reference<css::lang::XComponent> component(book.doc, UNO_QUERY_THROW);
  books_.Remove(Reference<css::sheet::XSpreadsheetDocument>(book.doc));
  Workbooks::Close(component);
}

void Session::Quit() {
  if (policy_.ended()) return;
  try {
    Call(msg::kTaskCloseOffice(), [&] {
      // Hidden workbooks go; a workbook the user can see stays open in an
      // office that this program did not start.
      const std::vector<Book> books = books_.all();
      for (const Book& book : books) {
        if (process_ || !book.on_screen) {
          Workbooks::Close(Reference<css::lang::XComponent>(book.doc, UNO_QUERY_THROW));
        }
      }
      std::erase_if(books_.all(), [&](const Book& book) { return process_ || !book.on_screen; });
    });
  } catch (const AutomationError&) {
    if (!process_) throw;
    // A private office that refuses to end is ended below.
  }
  LeaveOffice(process_ != nullptr);
  books_.all().clear();
  policy_.End();
}

void Session::LeaveOffice(bool want_end) {
  auto end = [&] {
    bool refused = false;  // the office vetoed its termination
    try {
      Call(msg::kTaskCloseOffice(), [&] {
        if (!desktop_->terminate()) refused = true;
      });
    } catch (const AutomationError&) {
    }
    if (process_ &&
        !process_->WaitExit(refused ? std::chrono::seconds(2) : std::chrono::seconds(15))) {
      process_->Kill();
    }
  };
  const std::vector<Book>& books = books_.all();
  const bool on_screen =
      std::any_of(books.begin(), books.end(), [](const Book& book) { return book.on_screen; });
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
  if (!books_.empty()) {
    CheckInGrid(books_.Active(), Block{pos.row, pos.col, pos.row, pos.col}, reference);
  }
  // The task is worded only for a request really made: most cells of a
  // large table are only kept here.
  auto task = [reference] {
    return msg::kTaskOn({msg::kTaskCell({reference}), msg::kTaskSelect()});
  };
  if (options_.batch_cells) {
    if (!pending_.aimed()) {
      Call(task(), kLeavesCells | kLeavesRowHeights, [&] {
        Book& book = books_.Active();
        pending_.Aim(book.doc, Workbooks::ActiveSheetOf(book));
        book.view_chosen = true;
      });
    }
    pending_.MoveCursor(pos);
    return;
  }
  Call(task(), kLeavesCells | kLeavesRowHeights, [&] {
    Book& book = books_.Active();
    Reference<css::sheet::XSpreadsheetView> view = Workbooks::View(book.doc);
    Reference<css::table::XCell> cell = view->getActiveSheet()->getCellByPosition(pos.col, pos.row);
    Query<css::view::XSelectionSupplier>(view)->select(Any(cell));
    book.view_chosen = true;
    pending_.CursorAt(pos, cell);
  });
}

CellPos Session::ActiveCellPos() {
  if (auto cursor = pending_.cursor()) return *cursor;
  return Call(msg::kTaskActiveCell(), kLeavesCells, [&] {
    Reference<css::view::XSelectionSupplier> sel(Workbooks::View(books_.Active().doc),
                                                 UNO_QUERY_THROW);
    Reference<css::sheet::XCellRangeAddressable> range(sel->getSelection(), UNO_QUERY);
    if (!range.is()) return CellPos{};
    auto a = range->getRangeAddress();
    return CellPos{a.StartRow, a.StartColumn};
  });
}

void Session::PutActiveCell(CellPos pos, const Value& value) {
  if (options_.batch_cells && pending_.aimed()) {
    // Cells go to the office in bands of whole rows, so that however large
    // a table is, only one band of it waits here.
    if (pending_.kept() >= static_cast<std::size_t>(options_.max_cells_per_transfer) &&
        pending_.last_put().row != pos.row) {
      Call(msg::kTaskWriteCells(), kLeavesPending | kLeavesCells, [&] { pending_.SendCells(); });
    }
    pending_.Put(pos, value);
    return;
  }
  // The cell the last Goto selected, unless another request came between:
  // this request leaves pending writes alone so as not to lose it.
  Call(Task(msg::kTaskOn(
                {msg::kTaskCellRC({std::to_string(pos.row + 1), std::to_string(pos.col + 1)}),
                 msg::kTaskWrite()}),
            books_.empty() ? nullptr : books_.Active().doc),
       kLeavesPending, [&] {
         Book& book = books_.Active();
         Reference<css::table::XCell> cell = pending_.CellAtCursor(pos);
         if (!cell.is()) cell = Workbooks::ActiveSheetOf(book)->getCellByPosition(pos.col, pos.row);
         WriteCell(book, cell, value);
       });
}

void Session::WriteCell(Book& book, const Reference<css::table::XCell>& cell, const Value& value) {
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
  NumberFormatKeys& formats = book.Formats();
  auto props = Props(cell);
  if (format != CellFormat::kBoolean) {
    sal_Int32 current = 0;
    props->getPropertyValue("NumberFormat") >>= current;
    if (!formats.IsGeneral(current)) return;  // the user's own format stays
  }
  props->setPropertyValue("NumberFormat", Any(formats.Key(format)));
}

void Session::CheckInGrid(const Book& book, const Block& block, std::string_view text) {
  // Checked for every cell written: the file's type only matters beyond the
  // smallest grid.
  if (block.bottom < 65536 && block.right < 256) return;
  const Grid grid = GridOf(book.path);
  if (block.bottom < grid.rows && block.right < grid.columns) return;
  throw AutomationError(kAppDefined, msg::kBeyondXlsGrid({text}));
}

const std::vector<ValueBlock>* Session::WrittenInto(
    const Reference<css::sheet::XSpreadsheetDocument>& doc,
    const Reference<css::sheet::XSpreadsheet>& sheet) {
  const Book* book = books_.Find(doc);
  if (book == nullptr) return nullptr;
  return written_.Into(book->doc.get(), SheetName(sheet), policy_.changes());
}

}  // namespace kestrin::automation::uno
