#include "automation/uno/uno_excel.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>
#include <utility>

#include <com/sun/star/awt/PosSize.hpp>
#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/DataPilotFieldOrientation.hpp>
#include <com/sun/star/sheet/GeneralFunction.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XDataPilotDescriptor.hpp>
#include <com/sun/star/sheet/XDataPilotTables.hpp>
#include <com/sun/star/sheet/XDataPilotTablesSupplier.hpp>
#include <com/sun/star/sheet/XDatabaseRange.hpp>
#include <com/sun/star/sheet/XDatabaseRanges.hpp>
#include <com/sun/star/sheet/XSheetOperation.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUnnamedDatabaseRanges.hpp>
#include <com/sun/star/table/BorderLine2.hpp>
#include <com/sun/star/table/BorderLineStyle.hpp>
#include <com/sun/star/table/CellAddress.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/TableBorder2.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/util/CloseVetoException.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include "automation/failure.h"
#include "automation/uno/addresses.h"
#include "automation/uno/backup.h"
#include "automation/uno/cell_batch.h"
#include "automation/uno/office_process.h"
#include "automation/uno/uno_runtime.h"

namespace kestrin::automation::uno {
namespace {

namespace fs = std::filesystem;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

// Excel's numbers for the failures below.
constexpr std::int32_t kAppDefined = 1004;   // "Application-defined or object-defined error"
constexpr std::int32_t kCannotCreate = 429;  // "ActiveX component can't create object"
constexpr std::int32_t kDisconnected = -2147417848;  // RPC_E_DISCONNECTED
constexpr std::int32_t kCallTimedOut = -2147417825;  // RPC_E_TIMEOUT

bool HaveDisplay() {
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && display[0] != '\0';
}

template <class T>
Reference<T> Query(const Reference<css::uno::XInterface>& from) {
  return Reference<T>(from, UNO_QUERY_THROW);
}

Reference<css::beans::XPropertySet> Props(const Reference<css::uno::XInterface>& from) {
  return Query<css::beans::XPropertySet>(from);
}

Reference<css::beans::XPropertySet> Props(const Any& from) {
  return Reference<css::beans::XPropertySet>(from, UNO_QUERY_THROW);
}

css::beans::PropertyValue Prop(const char* name, Any value) {
  css::beans::PropertyValue p;
  p.Name = OUString::createFromAscii(name);
  p.Value = std::move(value);
  return p;
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// Converts a serial whose negative values keep the time of day as a positive
// fraction (-1.25: the day before the epoch, 06:00) into the office's linear
// serial (-0.75).
double LinearSerial(double serial) {
  if (serial >= 0) return serial;
  double day = std::trunc(serial);
  return day + std::fabs(serial - day);
}

enum class CellFormat { kNone, kDate, kDateTime, kBoolean };

CellFormat FormatOf(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kBoolean:
      return CellFormat::kBoolean;
    case Value::Kind::kDateTime: {
      double s = LinearSerial(v.datetime().serial);
      return s == std::floor(s) ? CellFormat::kDate : CellFormat::kDateTime;
    }
    default:
      return CellFormat::kNone;
  }
}

// The office's form of a value for a block transfer: a number, a text, or an
// empty text, which leaves the cell empty.
Any CellAny(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kBoolean:
      return Any(v.boolean() ? 1.0 : 0.0);
    case Value::Kind::kInteger:
      return Any(static_cast<double>(v.integer()));
    case Value::Kind::kCurrency:
      return Any(static_cast<double>(v.currency().ten_thousandths) / 10000.0);
    case Value::Kind::kDouble:
      return Any(v.real());
    case Value::Kind::kDateTime:
      return Any(LinearSerial(v.datetime().serial));
    case Value::Kind::kText:
      return Any(ToOU(v.text()));
    case Value::Kind::kNull:
    case Value::Kind::kBinary:
      break;
  }
  return Any(OUString());
}

struct Book {
  Reference<css::sheet::XSpreadsheetDocument> doc;
  fs::path path;
  bool backed_up = false;
  bool shown = false;      // its view is visible (without a window when headless)
  bool on_screen = false;  // the user can see its window
  // The file's own view settings (active sheet, selection) are applied by
  // the first activation of the view; a choice the program made before that
  // is put back afterwards.
  bool view_applied = false;
  bool view_chosen = false;
  // Number format keys, looked up on first use.
  std::optional<sal_Int32> date_key, datetime_key, boolean_key;
};

// One attachment to an office: its connection, the workbooks this program
// opened in it, and the cells waiting to be sent.
class Session {
 public:
  Session(UnoOptions options, std::unique_ptr<OfficeProcess> process,
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

  ~Session() {
    if (!ended_) {
      try {
        Call("closing", [&] { Sync(); });
      } catch (...) {
      }
    }
    watchdog_.reset();
  }

  const UnoOptions& options() const { return options_; }
  bool batching() const { return options_.batch_cells; }

  // Runs one request to the office under the call time limit, turning every
  // failure into an AutomationError. Pending cells are sent first unless the
  // request is a pure cell write.
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
    } catch (const css::lang::DisposedException& e) {
      Lost(what, e, true);
    } catch (const css::uno::Exception& e) {
      Lost(what, e, false);
    }
  }

  [[noreturn]] void Lost(const std::string& what, const css::uno::Exception& e, bool disposed) {
    if (watchdog_->Fired()) {
      ended_ = true;
      throw AutomationError(
          kCallTimedOut, what + ": the office did not answer within " +
                             std::to_string(options_.call_timeout.count() / 1000) + " s and was " +
                             (process_ ? "stopped" : "let go"));
    }
    if ((process_ && !process_->Alive()) || (disposed && !BridgeAlive())) {
      ended_ = true;
      throw AutomationError(kDisconnected,
                            what + ": the office has ended or crashed (" + FromOU(e.Message) + ")");
    }
    // The office is there; an object may be gone because a workbook was
    // closed in the office behind the program's back. Forget such workbooks.
    size_t before = books_.size();
    books_.erase(std::remove_if(books_.begin(), books_.end(),
                                [](const Book& b) { return !DocumentAlive(b.doc); }),
                 books_.end());
    if (books_.size() != before) {
      throw AutomationError(kAppDefined, what +
                                             " failed: the workbook is no longer open in the "
                                             "office (" +
                                             FromOU(e.Message) + ")");
    }
    throw AutomationError(kAppDefined, what + " failed: " + FromOU(e.Message));
  }

  bool BridgeAlive() {
    try {
      desktop_->getCurrentFrame();
      return true;
    } catch (const css::uno::Exception&) {
      return false;
    }
  }

  static bool DocumentAlive(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
    try {
      Reference<css::frame::XModel> model(doc, UNO_QUERY_THROW);
      model->getURL();
      return model->getCurrentController().is();
    } catch (const css::uno::Exception&) {
      return false;
    }
  }

  // --- workbooks -----------------------------------------------------------

  void Open(const std::string& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (path.empty() || !fs::is_regular_file(absolute, ec)) {
      throw AutomationError(kAppDefined, "'" + path +
                                             "' could not be found. Check the spelling of the "
                                             "file name and verify that the file exists.");
    }
    absolute = fs::weakly_canonical(absolute, ec);
    Call("Workbooks.Open", [&] {
      Sync();
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
        throw AutomationError(
            kAppDefined, "'" + path + "' cannot be opened as a workbook: " + FromOU(e.Message));
      } catch (const css::io::IOException& e) {
        throw AutomationError(
            kAppDefined, "'" + path + "' cannot be opened as a workbook: " + FromOU(e.Message));
      }
      Reference<css::sheet::XSpreadsheetDocument> doc(component, UNO_QUERY);
      if (!doc.is()) {
        if (component.is()) CloseDocument(component);
        throw AutomationError(kAppDefined,
                              "'" + path +
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

  Book& ActiveBook() {
    if (books_.empty()) {
      throw AutomationError(errnum::kObjectNotSet,
                            "Object variable or With block variable not set: no workbook is open");
    }
    return books_.back();
  }

  Book* FindBook(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
    for (auto& b : books_) {
      if (b.doc == doc) return &b;
    }
    return nullptr;
  }

  void MakeActive(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
    for (auto it = books_.begin(); it != books_.end(); ++it) {
      if (it->doc == doc) {
        std::rotate(it, it + 1, books_.end());
        return;
      }
    }
  }

  static Reference<css::sheet::XSpreadsheetView> View(
      const Reference<css::sheet::XSpreadsheetDocument>& doc) {
    Reference<css::frame::XModel> model(doc, UNO_QUERY_THROW);
    Reference<css::sheet::XSpreadsheetView> view(model->getCurrentController(), UNO_QUERY);
    if (!view.is()) throw AutomationError(kAppDefined, "The workbook has no view in the office");
    return view;
  }

  Reference<css::sheet::XSpreadsheet> ActiveSheetOf(Book& book) {
    return View(book.doc)->getActiveSheet();
  }

  void Save(Book& book) {
    Sync();
    if (!book.backed_up) {
      BackUpWorkbook(
          book.path,
          options_.backup_dir.empty() ? DefaultBackupDir() : fs::path(options_.backup_dir),
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

  enum class ShowMode {
    kOnScreen,   // for the user
    kOffScreen,  // a real window, placed where nobody sees it
    kNoWindow,   // in a headless office, where showing creates no window
  };

  // Makes the book's view visible and current, keeping the active sheet and
  // selection that the program chose while it was hidden.
  void Show(Book& book, ShowMode mode) {
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
    frame->activate();
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

  void Hide(Book& book) {
    Reference<css::frame::XController> controller(View(book.doc), UNO_QUERY_THROW);
    controller->getFrame()->getContainerWindow()->setVisible(false);
    book.shown = false;
    book.on_screen = false;
  }

  void SetVisible(bool on) {
    Call("Visible", [&] {
      Sync();
      if (on) {
        if (headless_ || !HaveDisplay()) {
          throw AutomationError(
              kAppDefined,
              "Cannot show the workbook: the office runs without a display (DISPLAY is not set "
              "or the office was started headless)");
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

  void CloseBook(Book& book, bool save_changes) {
    if (save_changes) Save(book);
    Reference<css::lang::XComponent> component(book.doc, UNO_QUERY_THROW);
    auto doc = book.doc;
    books_.erase(
        std::remove_if(books_.begin(), books_.end(), [&](const Book& b) { return b.doc == doc; }),
        books_.end());
    CloseDocument(component);
  }

  static void CloseDocument(const Reference<css::lang::XComponent>& component) {
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

  void Quit() {
    if (ended_) return;
    bool refused = false;  // the office vetoed its termination
    try {
      Call("Quit", [&] {
        Sync();
        // Hidden workbooks go; a workbook the user can see stays open in an
        // office that this program did not start.
        auto books = books_;
        for (auto& book : books) {
          if (process_ || !book.on_screen) {
            CloseDocument(Reference<css::lang::XComponent>(book.doc, UNO_QUERY_THROW));
          }
        }
        books_.clear();
        if (process_ && !desktop_->terminate()) refused = true;
      });
    } catch (const AutomationError&) {
      if (!process_) throw;
      // A private office that refuses to end is ended below.
    }
    ended_ = true;
    if (process_ &&
        !process_->WaitExit(refused ? std::chrono::seconds(2) : std::chrono::seconds(15))) {
      process_->Kill();
    }
  }

  // --- cells and selection --------------------------------------------------

  // Selects one cell of the active sheet; with batching only remembered.
  void Goto(std::string_view reference) {
    CellPos pos = ParseR1C1(reference);
    if (!books_.empty())
      CheckInGrid(books_.back(), Block{pos.row, pos.col, pos.row, pos.col}, reference);
    if (batching()) {
      if (!batch_sheet_.is()) {
        Call("Goto", [&] {
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
    Call("Goto", [&] {
      Reference<css::sheet::XSpreadsheet> sheet = ActiveSheetOf(ActiveBook());
      Reference<css::view::XSelectionSupplier> sel(View(ActiveBook().doc), UNO_QUERY_THROW);
      sel->select(Any(sheet->getCellByPosition(pos.col, pos.row)));
      ActiveBook().view_chosen = true;
      cursor_ = pos;
      cursor_selected_ = true;
    });
  }

  // The active cell: the one chosen by the last Goto, else the first cell of
  // the office's selection.
  CellPos ActiveCellPos() {
    if (cursor_) return *cursor_;
    return Call("ActiveCell", [&] {
      Reference<css::view::XSelectionSupplier> sel(View(ActiveBook().doc), UNO_QUERY_THROW);
      Reference<css::sheet::XCellRangeAddressable> range(sel->getSelection(), UNO_QUERY);
      if (!range.is()) return CellPos{};
      auto a = range->getRangeAddress();
      return CellPos{a.StartRow, a.StartColumn};
    });
  }

  void PutActiveCell(CellPos pos, const Value& value) {
    if (batching() && batch_sheet_.is()) {
      batch_.Put(pos, value);
      return;
    }
    Call("Value", [&] {
      Book& book = ActiveBook();
      Reference<css::sheet::XSpreadsheet> sheet = ActiveSheetOf(book);
      WriteCell(book, sheet, pos, value);
    });
  }

  void WriteCell(Book& book, const Reference<css::sheet::XSpreadsheet>& sheet, CellPos pos,
                 const Value& value) {
    Reference<css::table::XCell> cell = sheet->getCellByPosition(pos.col, pos.row);
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
    if (format != CellFormat::kNone) {
      Props(cell)->setPropertyValue("NumberFormat", Any(FormatKey(book, format)));
    }
  }

  sal_Int32 FormatKey(Book& book, CellFormat format) {
    std::optional<sal_Int32>* slot = format == CellFormat::kDate       ? &book.date_key
                                     : format == CellFormat::kDateTime ? &book.datetime_key
                                                                       : &book.boolean_key;
    if (!*slot) {
      Reference<css::util::XNumberFormatsSupplier> supplier(book.doc, UNO_QUERY_THROW);
      Reference<css::util::XNumberFormats> formats = supplier->getNumberFormats();
      css::lang::Locale locale("en", "US", "");
      if (format == CellFormat::kBoolean) {
        *slot = Query<css::util::XNumberFormatTypes>(formats)->getStandardFormat(
            css::util::NumberFormat::LOGICAL, locale);
      } else {
        OUString code =
            format == CellFormat::kDate ? OUString("M/D/YYYY") : OUString("M/D/YYYY H:MM");
        sal_Int32 key = formats->queryKey(code, locale, false);
        if (key < 0) key = formats->addNew(code, locale);
        *slot = key;
      }
    }
    return **slot;
  }

  // Sends pending cells to the office and selects the last cell gone to.
  // Runs inside Call().
  void Sync() {
    if (!batch_.empty() && batch_sheet_.is()) {
      Book* book = FindBook(batch_book_);
      std::vector<ValueBlock> blocks = batch_.TakeBlocks();
      for (const ValueBlock& block : blocks) WriteBlock(book, block);
    }
    if (cursor_ && !cursor_selected_ && batch_sheet_.is() && FindBook(batch_book_)) {
      Reference<css::view::XSelectionSupplier> sel(View(batch_book_), UNO_QUERY_THROW);
      sel->select(Any(batch_sheet_->getCellByPosition(cursor_->col, cursor_->row)));
    }
    cursor_selected_ = true;
    batch_sheet_.clear();
    batch_book_.clear();
  }

  void WriteBlock(Book* book, const ValueBlock& block) {
    const Block& a = block.area;
    int rows = a.bottom - a.top + 1, cols = a.right - a.left + 1;
    Sequence<Sequence<Any>> data(rows);
    for (int r = 0; r < rows; ++r) {
      Sequence<Any> row(cols);
      Any* out = row.getArray();
      for (int c = 0; c < cols; ++c) out[c] = CellAny(block.at(a.top + r, a.left + c));
      data[r] = row;
    }
    Reference<css::table::XCellRange> range =
        batch_sheet_->getCellRangeByPosition(a.left, a.top, a.right, a.bottom);
    Query<css::sheet::XCellRangeData>(range)->setDataArray(data);
    if (book == nullptr) return;
    // Dates and Yes/No values get their number format, one call per vertical
    // run of cells that share it.
    for (int c = a.left; c <= a.right; ++c) {
      int r = a.top;
      while (r <= a.bottom) {
        CellFormat f = FormatOf(block.at(r, c));
        int end = r;
        while (end + 1 <= a.bottom && FormatOf(block.at(end + 1, c)) == f) ++end;
        if (f != CellFormat::kNone) {
          Props(batch_sheet_->getCellRangeByPosition(c, r, c, end))
              ->setPropertyValue("NumberFormat", Any(FormatKey(*book, f)));
        }
        r = end + 1;
      }
    }
  }

  // An .xls sheet has 65,536 rows and 256 columns; the office's grid is
  // larger, but cells beyond would be lost when the file is saved.
  static void CheckInGrid(const Book& book, const Block& block, std::string_view text) {
    std::string ext = Lower(book.path.extension().string());
    if (ext != ".xls" && ext != ".xlt") return;
    if (block.bottom >= 65536 || block.right >= 256) {
      throw AutomationError(kAppDefined, "\"" + std::string(text) +
                                             "\" lies beyond the last row or column of an .xls "
                                             "sheet (65536 rows, 256 columns)");
    }
  }

  void ForgetCursor() { cursor_.reset(); }
  // The program chose the book's active sheet or selection.
  void ChoseView(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
    if (Book* book = FindBook(doc)) book->view_chosen = true;
  }
  void SetCursor(CellPos pos) {
    cursor_ = pos;
    cursor_selected_ = true;
  }

  Book* BookOf(const Reference<css::sheet::XSpreadsheetDocument>& doc) { return FindBook(doc); }

 private:
  UnoOptions options_;
  std::unique_ptr<OfficeProcess> process_;
  std::unique_ptr<OfficeConnection> connection_;
  bool headless_;
  bool ended_ = false;
  Reference<css::frame::XDesktop2> desktop_;
  std::vector<Book> books_;  // in the order they were made active; back() is active

  CellBatch batch_;
  Reference<css::sheet::XSpreadsheet> batch_sheet_;
  Reference<css::sheet::XSpreadsheetDocument> batch_book_;
  std::optional<CellPos> cursor_;
  bool cursor_selected_ = true;

  // Destroyed first: its thread may touch connection_ and process_.
  std::unique_ptr<Watchdog> watchdog_;
};

using SessionPtr = std::shared_ptr<Session>;

// --- sheets and helpers -------------------------------------------------------

std::string SheetName(const Reference<css::sheet::XSpreadsheet>& sheet) {
  return FromOU(Query<css::container::XNamed>(sheet)->getName());
}

Reference<css::container::XIndexAccess> SheetList(
    const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  return Query<css::container::XIndexAccess>(doc->getSheets());
}

int SheetIndex(const Reference<css::sheet::XSpreadsheet>& sheet) {
  return Query<css::sheet::XCellRangeAddressable>(sheet)->getRangeAddress().Sheet;
}

// Sheet by name, exact first, then ignoring ASCII case as Excel does.
Reference<css::sheet::XSpreadsheet> FindSheet(
    const Reference<css::sheet::XSpreadsheetDocument>& doc, std::string_view name) {
  auto sheets = SheetList(doc);
  Reference<css::sheet::XSpreadsheet> folded;
  std::string lower = Lower(std::string(name));
  for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
    Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(i), UNO_QUERY_THROW);
    std::string n = SheetName(sheet);
    if (n == name) return sheet;
    if (!folded.is() && Lower(n) == lower) folded = sheet;
  }
  return folded;
}

css::table::CellRangeAddress Address(const Reference<css::uno::XInterface>& range) {
  return Query<css::sheet::XCellRangeAddressable>(range)->getRangeAddress();
}

class UnoSheet;

// --- borders ----------------------------------------------------------------------

class UnoRange;

class UnoBorder : public XlBorder {
 public:
  UnoBorder(SessionPtr s, Reference<css::table::XCellRange> range, int index)
      : s_(std::move(s)), range_(std::move(range)), index_(index) {}

  void SetLineStyle(int style) override {
    if (style != xl::kLineStyleNone && style != xl::kContinuous) {
      throw AutomationError(kAppDefined,
                            "Unable to set the LineStyle property of the Border "
                            "class: line style " +
                                std::to_string(style) + " is not supported");
    }
    style_ = style;
    Apply("LineStyle");
  }
  void SetWeight(int weight) override {
    if (Width(weight) < 0) {
      throw AutomationError(kAppDefined,
                            "Unable to set the Weight property of the Border "
                            "class: weight " +
                                std::to_string(weight) + " is not supported");
    }
    weight_ = weight;
    if (style_ == xl::kLineStyleNone) style_ = xl::kContinuous;
    Apply("Weight");
  }
  void SetColorIndex(int index) override {
    if (Color(index) < 0) {
      throw AutomationError(kAppDefined,
                            "Unable to set the ColorIndex property of the Border "
                            "class: colour index " +
                                std::to_string(index) + " is not supported");
    }
    color_ = index;
    if (style_ == xl::kLineStyleNone) style_ = xl::kContinuous;
    Apply("ColorIndex");
  }

 private:
  static int Width(int weight) {
    switch (weight) {
      case 1:
        return 5;  // xlHairline
      case 2:
        return 26;  // xlThin: 0.75 pt
      case -4138:
        return 53;  // xlMedium
      case 4:
        return 79;  // xlThick
      default:
        return -1;
    }
  }
  static sal_Int32 Color(int index) {
    static constexpr sal_Int32 kBasic[] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00,
                                           0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF};
    if (index == xl::kColorIndexAutomatic || index == xl::kLineStyleNone) return 0;
    if (index >= 1 && index <= 8) return kBasic[index - 1];
    return -1;
  }

  void Apply(const char* what) {
    s_->Call(std::string("Borders(") + std::to_string(index_) + ")." + what, [&] {
      s_->Sync();
      css::table::BorderLine2 line;
      if (style_ != xl::kLineStyleNone) {
        line.LineStyle = css::table::BorderLineStyle::SOLID;
        line.LineWidth = static_cast<sal_uInt32>(Width(weight_));
        line.OuterLineWidth = static_cast<sal_Int16>(Width(weight_));
        line.Color = Color(color_);
      }
      auto props = Props(range_);
      if (index_ == xl::kDiagonalDown || index_ == xl::kDiagonalUp) {
        props->setPropertyValue(
            index_ == xl::kDiagonalDown ? OUString("DiagonalTLBR2") : OUString("DiagonalBLTR2"),
            Any(line));
        return;
      }
      css::table::TableBorder2 border;
      switch (index_) {
        case xl::kEdgeLeft:
          border.LeftLine = line;
          border.IsLeftLineValid = true;
          break;
        case xl::kEdgeTop:
          border.TopLine = line;
          border.IsTopLineValid = true;
          break;
        case xl::kEdgeBottom:
          border.BottomLine = line;
          border.IsBottomLineValid = true;
          break;
        case xl::kEdgeRight:
          border.RightLine = line;
          border.IsRightLineValid = true;
          break;
        case xl::kInsideVertical:
          border.VerticalLine = line;
          border.IsVerticalLineValid = true;
          break;
        case xl::kInsideHorizontal:
          border.HorizontalLine = line;
          border.IsHorizontalLineValid = true;
          break;
        default:
          throw AutomationError(kAppDefined,
                                "Unable to get the Borders property of the Range "
                                "class: index " +
                                    std::to_string(index_));
      }
      props->setPropertyValue("TableBorder2", Any(border));
    });
  }

  SessionPtr s_;
  Reference<css::table::XCellRange> range_;
  int index_;
  int style_ = xl::kContinuous;
  int weight_ = xl::kThin;
  int color_ = xl::kColorIndexAutomatic;
};

// --- ranges -------------------------------------------------------------------

enum class RangeKind { kCells, kRows, kColumns, kActiveCell };

class UnoRange : public XlRange {
 public:
  UnoRange(SessionPtr s, Reference<css::sheet::XSpreadsheetDocument> doc,
           Reference<css::sheet::XSpreadsheet> sheet, Block block, RangeKind kind)
      : s_(std::move(s)),
        doc_(std::move(doc)),
        sheet_(std::move(sheet)),
        block_(block),
        kind_(kind) {}

  void Clear() override {
    s_->Call("Range.Clear", [&] {
      s_->Sync();
      // Everything but drawing objects: a chart lying over the block stays,
      // as it does in Excel.
      constexpr sal_Int32 kAllButObjects = 1023 & ~css::sheet::CellFlags::OBJECTS;
      Query<css::sheet::XSheetOperation>(Range())->clearContents(kAllButObjects);
    });
  }

  void Select() override {
    s_->Call("Range.Select", [&] {
      s_->Sync();
      Reference<css::view::XSelectionSupplier> sel(Session_View(), UNO_QUERY_THROW);
      sel->select(Any(Range()));
      s_->ChoseView(doc_);
      s_->SetCursor(CellPos{block_.top, block_.left});
    });
  }

  void AutoFilter() override {
    s_->Call("Range.AutoFilter", [&] {
      s_->Sync();
      css::table::CellRangeAddress target = Address(Range());
      Reference<css::beans::XPropertySet> docProps = Props(doc_);
      // Named database ranges of this sheet lose their filter buttons: a sheet
      // has one AutoFilter.
      Reference<css::container::XNameAccess> named(docProps->getPropertyValue("DatabaseRanges"),
                                                   UNO_QUERY_THROW);
      const Sequence<OUString> names = named->getElementNames();
      for (const OUString& n : names) {
        Reference<css::sheet::XDatabaseRange> db(named->getByName(n), UNO_QUERY_THROW);
        if (db->getDataArea().Sheet != target.Sheet) continue;
        auto p = Props(db);
        if (p->getPropertyValue("AutoFilter").get<bool>()) {
          p->setPropertyValue("AutoFilter", Any(false));
        }
      }
      Reference<css::sheet::XUnnamedDatabaseRanges> unnamed(
          docProps->getPropertyValue("UnnamedDatabaseRanges"), UNO_QUERY_THROW);
      if (unnamed->hasByTable(target.Sheet)) {
        Reference<css::sheet::XDatabaseRange> db(unnamed->getByTable(target.Sheet),
                                                 UNO_QUERY_THROW);
        auto p = Props(db);
        bool on = p->getPropertyValue("AutoFilter").get<bool>();
        if (on) {
          p->setPropertyValue("AutoFilter", Any(false));
          css::table::CellRangeAddress area = db->getDataArea();
          if (area.StartColumn == target.StartColumn && area.EndColumn == target.EndColumn &&
              area.StartRow == target.StartRow && area.EndRow == target.EndRow) {
            return;  // toggled off
          }
        }
      }
      unnamed->setByTable(target);
      Reference<css::sheet::XDatabaseRange> db(unnamed->getByTable(target.Sheet), UNO_QUERY_THROW);
      Props(db)->setPropertyValue("AutoFilter", Any(true));
    });
  }

  void AutoFit() override {
    s_->Call("Range.AutoFit", [&] {
      s_->Sync();
      auto rr = Query<css::table::XColumnRowRange>(Range());
      if (kind_ == RangeKind::kRows) {
        Props(rr->getRows())->setPropertyValue("OptimalHeight", Any(true));
      } else if (kind_ == RangeKind::kColumns) {
        Props(rr->getColumns())->setPropertyValue("OptimalWidth", Any(true));
      } else {
        throw AutomationError(kAppDefined,
                              "AutoFit method of Range class failed: the range "
                              "must be whole rows or whole columns");
      }
    });
  }

  void SetValue(const Value& value) override {
    if (kind_ == RangeKind::kActiveCell) {
      s_->PutActiveCell(CellPos{block_.top, block_.left}, value);
      return;
    }
    s_->Call("Range.Value", [&] {
      s_->Sync();
      Book* book = s_->BookOf(doc_);
      if (book == nullptr) throw AutomationError(kAppDefined, "The workbook has been closed");
      s_->WriteCell(*book, sheet_, CellPos{block_.top, block_.left}, value);
    });
  }

  std::unique_ptr<XlBorder> Borders(int index) override {
    if (index < xl::kDiagonalDown || index > xl::kInsideHorizontal) {
      throw AutomationError(kAppDefined,
                            "Unable to get the Borders property of the Range "
                            "class: index " +
                                std::to_string(index));
    }
    auto range = s_->Call("Range.Borders", [&] {
      s_->Sync();
      return Range();
    });
    return std::make_unique<UnoBorder>(s_, range, index);
  }

 private:
  Reference<css::sheet::XSpreadsheetView> Session_View() {
    Resolve();
    Reference<css::frame::XModel> model(doc_, UNO_QUERY_THROW);
    return Reference<css::sheet::XSpreadsheetView>(model->getCurrentController(), UNO_QUERY_THROW);
  }

  // The office's range, clamped to the sheet for whole rows and columns.
  // The active cell's sheet is looked up once the pending cells are sent.
  void Resolve() {
    if (!sheet_.is()) {
      doc_ = s_->ActiveBook().doc;
      sheet_ = s_->ActiveSheetOf(s_->ActiveBook());
    }
  }

  Reference<css::table::XCellRange> Range() {
    Resolve();
    Block b = block_;
    if (kind_ == RangeKind::kRows || kind_ == RangeKind::kColumns) {
      css::table::CellRangeAddress all = Address(sheet_);
      b.right = std::min<int>(b.right, all.EndColumn);
      b.bottom = std::min<int>(b.bottom, all.EndRow);
    }
    return sheet_->getCellRangeByPosition(b.left, b.top, b.right, b.bottom);
  }

  SessionPtr s_;
  Reference<css::sheet::XSpreadsheetDocument> doc_;
  Reference<css::sheet::XSpreadsheet> sheet_;
  Block block_;
  RangeKind kind_;
};

// --- pivot tables -----------------------------------------------------------------

sal_Int32 OrientationOf(int excel) {
  switch (excel) {
    case 0:
      return static_cast<sal_Int32>(css::sheet::DataPilotFieldOrientation_HIDDEN);
    case 1:
      return static_cast<sal_Int32>(css::sheet::DataPilotFieldOrientation_ROW);
    case 2:
      return static_cast<sal_Int32>(css::sheet::DataPilotFieldOrientation_COLUMN);
    case 3:
      return static_cast<sal_Int32>(css::sheet::DataPilotFieldOrientation_PAGE);
    case 4:
      return static_cast<sal_Int32>(css::sheet::DataPilotFieldOrientation_DATA);
    default:
      return -1;
  }
}

class UnoPivotTable;

// True when every cell below the heading in the source column of `field` is
// a number: Excel then sums the field, otherwise it counts it.
bool AllNumbers(const Reference<css::sheet::XSpreadsheetDocument>& doc,
                const css::table::CellRangeAddress& source, const std::string& field) {
  Reference<css::sheet::XSpreadsheet> sheet(SheetList(doc)->getByIndex(source.Sheet),
                                            UNO_QUERY_THROW);
  auto data = Query<css::sheet::XCellRangeData>(
                  sheet->getCellRangeByPosition(source.StartColumn, source.StartRow,
                                                source.EndColumn, source.EndRow))
                  ->getDataArray();
  if (data.getLength() < 2) return false;
  const Sequence<Any>& head = data[0];
  for (sal_Int32 c = 0; c < head.getLength(); ++c) {
    OUString name;
    double number = 0;
    if (head[c] >>= name) {
    } else if (head[c] >>= number) {
      name = OUString::number(number);
    }
    if (FromOU(name) != field) continue;
    for (sal_Int32 r = 1; r < data.getLength(); ++r) {
      if (!(data[r][c] >>= number)) return false;
    }
    return true;
  }
  return false;
}

class UnoPivotField : public XlPivotField {
 public:
  UnoPivotField(SessionPtr s, Reference<css::sheet::XSpreadsheetDocument> doc,
                Reference<css::sheet::XDataPilotDescriptor> table, std::string name)
      : s_(std::move(s)), doc_(std::move(doc)), table_(std::move(table)), name_(std::move(name)) {}

  void SetOrientation(int orientation) override {
    sal_Int32 o = OrientationOf(orientation);
    if (o < 0) {
      throw AutomationError(kAppDefined,
                            "Unable to set the Orientation property of the "
                            "PivotField class: orientation " +
                                std::to_string(orientation));
    }
    s_->Call("PivotField.Orientation", [&] {
      s_->Sync();
      auto field = Props(
          Query<css::container::XNameAccess>(table_->getDataPilotFields())->getByName(ToOU(name_)));
      field->setPropertyValue("Orientation",
                              Any(static_cast<css::sheet::DataPilotFieldOrientation>(o)));
      if (orientation == xl::kDataField) {
        // Set once the field is in the data area: the orientation change
        // resets the function.
        bool sum = AllNumbers(doc_, table_->getSourceRange(), name_);
        field->setPropertyValue("Function", Any(sum ? css::sheet::GeneralFunction_SUM
                                                    : css::sheet::GeneralFunction_COUNT));
      }
    });
  }

 private:
  SessionPtr s_;
  Reference<css::sheet::XSpreadsheetDocument> doc_;
  Reference<css::sheet::XDataPilotDescriptor> table_;
  std::string name_;
};

class UnoPivotTable : public XlPivotTable {
 public:
  UnoPivotTable(SessionPtr s, Reference<css::sheet::XSpreadsheetDocument> doc,
                Reference<css::sheet::XDataPilotDescriptor> table, std::string name)
      : s_(std::move(s)), doc_(std::move(doc)), table_(std::move(table)), name_(std::move(name)) {}

  void AddFields(const PivotFieldNames& row_fields, const PivotFieldNames& column_fields) override {
    std::vector<std::string> rows = Names(row_fields), cols = Names(column_fields);
    s_->Call("PivotTable.AddFields", [&] {
      s_->Sync();
      auto fields = Query<css::container::XNameAccess>(table_->getDataPilotFields());
      for (const auto& list : {rows, cols}) {
        for (const auto& n : list) CheckField(fields, n);
      }
      // The new row and column fields replace the old ones, as Excel's
      // AddFields does when not told to add to the table.
      const Sequence<OUString> all = fields->getElementNames();
      for (const OUString& n : all) {
        auto p = Props(fields->getByName(n));
        auto o = p->getPropertyValue("Orientation").get<css::sheet::DataPilotFieldOrientation>();
        if (o == css::sheet::DataPilotFieldOrientation_ROW ||
            o == css::sheet::DataPilotFieldOrientation_COLUMN) {
          p->setPropertyValue("Orientation", Any(css::sheet::DataPilotFieldOrientation_HIDDEN));
        }
      }
      for (const auto& n : rows) {
        Props(fields->getByName(ToOU(n)))
            ->setPropertyValue("Orientation", Any(css::sheet::DataPilotFieldOrientation_ROW));
      }
      for (const auto& n : cols) {
        Props(fields->getByName(ToOU(n)))
            ->setPropertyValue("Orientation", Any(css::sheet::DataPilotFieldOrientation_COLUMN));
      }
    });
  }

  std::unique_ptr<XlPivotField> PivotFields(const std::string& name) override {
    s_->Call("PivotTable.PivotFields", [&] {
      s_->Sync();
      CheckField(Query<css::container::XNameAccess>(table_->getDataPilotFields()), name);
    });
    return std::make_unique<UnoPivotField>(s_, doc_, table_, name);
  }

 private:
  static std::vector<std::string> Names(const PivotFieldNames& names) {
    if (const auto* one = std::get_if<std::string>(&names)) return {*one};
    return std::get<std::vector<std::string>>(names);
  }

  void CheckField(const Reference<css::container::XNameAccess>& fields, const std::string& n) {
    if (n.empty() || !fields->hasByName(ToOU(n))) {
      throw AutomationError(kAppDefined,
                            "The pivot table '" + name_ + "' has no field named '" + n + "'");
    }
  }

  SessionPtr s_;
  Reference<css::sheet::XSpreadsheetDocument> doc_;
  Reference<css::sheet::XDataPilotDescriptor> table_;
  std::string name_;
};

// --- sheets ---------------------------------------------------------------------

bool PivotNameInUse(const Reference<css::sheet::XSpreadsheetDocument>& doc,
                    const std::string& name) {
  auto sheets = SheetList(doc);
  for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
    Reference<css::sheet::XDataPilotTablesSupplier> s(sheets->getByIndex(i), UNO_QUERY);
    if (s.is() && s->getDataPilotTables()->hasByName(ToOU(name))) return true;
  }
  return false;
}

// A new sheet's name as Excel picks it: "Sheet<n>" with the smallest n, from
// the number of sheets plus one, that no sheet has (ignoring case).
std::string NewSheetName(const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  auto sheets = SheetList(doc);
  for (int n = sheets->getCount() + 1;; ++n) {
    std::string name = "Sheet" + std::to_string(n);
    if (!FindSheet(doc, name).is()) return name;
  }
}

class UnoSheet : public XlSheet {
 public:
  UnoSheet(SessionPtr s, Reference<css::sheet::XSpreadsheetDocument> doc,
           Reference<css::sheet::XSpreadsheet> sheet)
      : s_(std::move(s)), doc_(std::move(doc)), sheet_(std::move(sheet)) {}

  std::string Name() const override {
    return s_->Call("Sheet.Name", [&] {
      s_->Sync();
      return SheetName(sheet_);
    });
  }

  void Activate() override {
    s_->Call("Sheet.Activate", [&] {
      s_->Sync();
      Session::View(doc_)->setActiveSheet(sheet_);
      s_->ChoseView(doc_);
      s_->MakeActive(doc_);
      s_->ForgetCursor();
    });
  }

  void PivotTableWizard(int source_type, const std::string& source_data,
                        const std::string& table_destination,
                        const std::string& table_name) override {
    if (source_type != xl::kDatabase) {
      throw AutomationError(kAppDefined,
                            "PivotTableWizard method of Worksheet class failed: "
                            "only a list on a worksheet can be the source");
    }
    SheetBlock source = ParseSheetBlock(source_data);
    s_->Call("PivotTableWizard", [&] {
      s_->Sync();
      Reference<css::sheet::XSpreadsheet> source_sheet = FindSheet(doc_, source.sheet);
      if (!source_sheet.is()) {
        throw AutomationError(kAppDefined, "PivotTableWizard: the source sheet '" + source.sheet +
                                               "' does not exist");
      }
      if (source.block.bottom == source.block.top) {
        throw AutomationError(kAppDefined, "PivotTableWizard: the source " + source_data +
                                               " needs a heading row and at least one record");
      }
      std::string name = table_name;
      for (int n = 1; name.empty(); ++n) {
        if (!PivotNameInUse(doc_, "PivotTable" + std::to_string(n))) {
          name = "PivotTable" + std::to_string(n);
        }
      }
      if (PivotNameInUse(doc_, name)) {
        throw AutomationError(kAppDefined,
                              "A pivot table named '" + name + "' already exists in the workbook");
      }

      Reference<css::sheet::XSpreadsheet> target;
      CellPos at{2, 0};  // A3, leaving room above the table as Excel does
      bool new_sheet = table_destination.empty();
      if (new_sheet) {
        std::string sheet_name = NewSheetName(doc_);
        doc_->getSheets()->insertNewByName(ToOU(sheet_name),
                                           static_cast<sal_Int16>(SheetIndex(source_sheet)));
        target.set(doc_->getSheets()->getByName(ToOU(sheet_name)), UNO_QUERY_THROW);
      } else {
        std::string_view dest = table_destination;
        size_t bang = dest.rfind('!');
        target = bang == std::string_view::npos ? Session::View(doc_)->getActiveSheet()
                                                : FindSheet(doc_, ParseSheetBlock(dest).sheet);
        if (!target.is()) {
          throw AutomationError(
              kAppDefined, "PivotTableWizard: no sheet for the destination " + table_destination);
        }
        Block b = ParseA1Block(bang == std::string_view::npos ? dest : dest.substr(bang + 1));
        at = CellPos{b.top, b.left};
      }
      try {
        auto tables = Query<css::sheet::XDataPilotTablesSupplier>(target)->getDataPilotTables();
        Reference<css::sheet::XDataPilotDescriptor> descriptor =
            tables->createDataPilotDescriptor();
        css::table::CellRangeAddress range;
        range.Sheet = static_cast<sal_Int16>(SheetIndex(source_sheet));
        range.StartColumn = source.block.left;
        range.StartRow = source.block.top;
        range.EndColumn = source.block.right;
        range.EndRow = source.block.bottom;
        descriptor->setSourceRange(range);
        Props(descriptor)->setPropertyValue("ShowFilterButton", Any(false));
        css::table::CellAddress where(static_cast<sal_Int16>(SheetIndex(target)), at.col, at.row);
        tables->insertNewByName(ToOU(name), where, descriptor);
      } catch (...) {
        if (new_sheet) doc_->getSheets()->removeByName(ToOU(SheetName(target)));
        throw;
      }
      Session::View(doc_)->setActiveSheet(target);
      s_->ChoseView(doc_);
      s_->ForgetCursor();
    });
  }

  std::unique_ptr<XlPivotTable> PivotTables(const std::string& name) override {
    auto table = s_->Call("PivotTables", [&] {
      s_->Sync();
      auto tables = Query<css::sheet::XDataPilotTablesSupplier>(sheet_)->getDataPilotTables();
      if (!tables->hasByName(ToOU(name))) {
        throw AutomationError(kAppDefined, "Unable to get the PivotTables property: sheet '" +
                                               SheetName(sheet_) + "' has no pivot table named '" +
                                               name + "'");
      }
      return Reference<css::sheet::XDataPilotDescriptor>(tables->getByName(ToOU(name)),
                                                         UNO_QUERY_THROW);
    });
    return std::make_unique<UnoPivotTable>(s_, doc_, table, name);
  }

 private:
  SessionPtr s_;
  Reference<css::sheet::XSpreadsheetDocument> doc_;
  Reference<css::sheet::XSpreadsheet> sheet_;
};

class UnoSheets : public XlSheets {
 public:
  UnoSheets(SessionPtr s, Reference<css::sheet::XSpreadsheetDocument> doc)
      : s_(std::move(s)), doc_(std::move(doc)) {}

  int Count() const override {
    return s_->Call("Sheets.Count", [&] {
      s_->Sync();
      return static_cast<int>(SheetList(doc_)->getCount());
    });
  }

  std::unique_ptr<XlSheet> Item(int index) override {
    auto sheet = s_->Call("Sheets.Item", [&] {
      s_->Sync();
      auto list = SheetList(doc_);
      if (index < 1 || index > list->getCount()) {
        throw AutomationError(
            errnum::kSubscriptOutOfRange,
            "Subscript out of range: the workbook has no sheet " + std::to_string(index));
      }
      return Reference<css::sheet::XSpreadsheet>(list->getByIndex(index - 1), UNO_QUERY_THROW);
    });
    return std::make_unique<UnoSheet>(s_, doc_, sheet);
  }

  std::unique_ptr<XlSheet> Item(std::string_view name) override {
    auto sheet = s_->Call("Sheets.Item", [&] {
      s_->Sync();
      auto found = FindSheet(doc_, name);
      if (!found.is()) {
        throw AutomationError(
            errnum::kSubscriptOutOfRange,
            "Subscript out of range: the workbook has no sheet named '" + std::string(name) + "'");
      }
      return found;
    });
    return std::make_unique<UnoSheet>(s_, doc_, sheet);
  }

 private:
  SessionPtr s_;
  Reference<css::sheet::XSpreadsheetDocument> doc_;
};

class UnoWorkbook : public XlWorkbook {
 public:
  UnoWorkbook(SessionPtr s, Reference<css::sheet::XSpreadsheetDocument> doc)
      : s_(std::move(s)), doc_(std::move(doc)) {}

  std::unique_ptr<XlSheets> Sheets() override { return std::make_unique<UnoSheets>(s_, doc_); }

  void Save() override {
    s_->Call("Workbook.Save", [&] { s_->Save(TheBook()); });
  }

  void Close(bool save_changes) override {
    s_->Call("Workbook.Close", [&] {
      s_->Sync();
      s_->CloseBook(TheBook(), save_changes);
    });
  }

 private:
  kestrin::automation::uno::Book& TheBook() {
    auto* book = s_->BookOf(doc_);
    if (book == nullptr) {
      throw AutomationError(errnum::kObjectNotSet, "The workbook has already been closed");
    }
    return *book;
  }

  SessionPtr s_;
  Reference<css::sheet::XSpreadsheetDocument> doc_;
};

class UnoApplication : public XlApplication {
 public:
  explicit UnoApplication(SessionPtr s) : s_(std::move(s)) {}

  void WorkbooksOpen(const std::string& path) override { s_->Open(path); }

  std::unique_ptr<XlWorkbook> ActiveWorkbook() override {
    return std::make_unique<UnoWorkbook>(s_, s_->Call("ActiveWorkbook", [&] {
      s_->Sync();
      return s_->ActiveBook().doc;
    }));
  }

  std::unique_ptr<XlSheet> ActiveSheet() override {
    Reference<css::sheet::XSpreadsheetDocument> doc;
    auto sheet = s_->Call("ActiveSheet", [&] {
      s_->Sync();
      doc = s_->ActiveBook().doc;
      return s_->ActiveSheetOf(s_->ActiveBook());
    });
    return std::make_unique<UnoSheet>(s_, doc, sheet);
  }

  void SetDisplayAlerts(bool) override {
    // The office asks nothing during calls made over UNO.
    s_->Call("DisplayAlerts", [&] { s_->Sync(); });
  }

  void Quit() override { s_->Quit(); }

  void SetVisible(bool on) override { s_->SetVisible(on); }

  void Goto(std::string_view reference) override { s_->Goto(reference); }

  std::unique_ptr<XlRange> ActiveCell() override {
    CellPos pos = s_->ActiveCellPos();
    return std::make_unique<UnoRange>(
        s_, nullptr, nullptr, Block{pos.row, pos.col, pos.row, pos.col}, RangeKind::kActiveCell);
  }

  std::unique_ptr<XlRange> Selection() override {
    return s_->Call("Selection", [&] {
      s_->Sync();
      auto doc = s_->ActiveBook().doc;
      Reference<css::view::XSelectionSupplier> sel(Session::View(doc), UNO_QUERY_THROW);
      Reference<css::sheet::XCellRangeAddressable> range(sel->getSelection(), UNO_QUERY);
      if (!range.is()) {
        throw AutomationError(kAppDefined, "The selection is not a block of cells");
      }
      auto a = range->getRangeAddress();
      Reference<css::sheet::XSpreadsheet> sheet(SheetList(doc)->getByIndex(a.Sheet),
                                                UNO_QUERY_THROW);
      return std::make_unique<UnoRange>(s_, doc, sheet,
                                        Block{a.StartRow, a.StartColumn, a.EndRow, a.EndColumn},
                                        RangeKind::kCells);
    });
  }

  std::unique_ptr<XlRange> Range(std::string_view address) override {
    return MakeRange("Range", address, ParseA1Block(address), RangeKind::kCells);
  }
  std::unique_ptr<XlRange> Rows(std::string_view span) override {
    return MakeRange("Rows", span, ParseRowSpan(span), RangeKind::kRows);
  }
  std::unique_ptr<XlRange> Columns(std::string_view span) override {
    return MakeRange("Columns", span, ParseColumnSpan(span), RangeKind::kColumns);
  }

 private:
  std::unique_ptr<XlRange> MakeRange(const char* what, std::string_view text, Block block,
                                     RangeKind kind) {
    return s_->Call(what, [&] {
      s_->Sync();
      auto doc = s_->ActiveBook().doc;
      if (kind == RangeKind::kCells) Session::CheckInGrid(s_->ActiveBook(), block, text);
      if (kind == RangeKind::kRows)
        Session::CheckInGrid(s_->ActiveBook(), Block{block.top, 0, block.bottom, 0}, text);
      if (kind == RangeKind::kColumns)
        Session::CheckInGrid(s_->ActiveBook(), Block{0, block.left, 0, block.right}, text);
      return std::make_unique<UnoRange>(s_, doc, s_->ActiveSheetOf(s_->ActiveBook()), block, kind);
    });
  }

  SessionPtr s_;
};

// The application object lent to the caller; the shared Session lives on in
// the handles taken from it.
std::shared_ptr<XlApplication> MakeApplication(SessionPtr session) {
  return std::make_shared<UnoApplication>(std::move(session));
}

class UnoServer : public XlServer {
 public:
  explicit UnoServer(UnoOptions options) : options_(std::move(options)) {
    if (options_.pipe_name.empty()) options_.pipe_name = DefaultPipeName();
  }

  std::shared_ptr<XlApplication> GetObject() override {
    std::unique_ptr<OfficeConnection> connection = TryConnect();
    if (!connection) {
      throw AutomationError(kCannotCreate,
                            "No office is running on the pipe '" + options_.pipe_name + "'");
    }
    return Attach(nullptr, std::move(connection), !HaveDisplay());
  }

  std::shared_ptr<XlApplication> CreateObject() override {
    if (auto connection = TryConnect()) {
      // Someone already serves our pipe: use that office, but never end it.
      return Attach(nullptr, std::move(connection), !HaveDisplay());
    }
    bool headless = options_.force_headless || !HaveDisplay();
    fs::path profile =
        options_.profile_dir.empty() ? DefaultProfileDir() : fs::path(options_.profile_dir);
    std::error_code ec;
    fs::create_directories(profile, ec);
    if (ec) {
      throw AutomationError(kCannotCreate, "Cannot create the office profile folder '" +
                                               profile.string() + "': " + ec.message());
    }
    profile = fs::absolute(profile);
    fs::path log = profile / "office.log";
    std::string program = options_.office_program.empty()
                              ? std::string(KESTRIN_OFFICE_PROGRAM_DIR) + "/soffice"
                              : options_.office_program;
    std::vector<std::string> args = {
        headless ? "--headless" : "--invisible",
        "--norestore",
        "--nologo",
        "--nodefault",
        "--nolockcheck",
        "--accept=pipe,name=" + options_.pipe_name + ";urp;StarOffice.ComponentContext",
        "-env:UserInstallation=" + FileUrl(profile / "user"),
    };
    std::vector<std::string> env;
    if (!headless) env.push_back("SAL_USE_VCLPLUGIN=gen");
    auto process = std::make_unique<OfficeProcess>(program, args, env, log);

    auto deadline = std::chrono::steady_clock::now() + options_.start_timeout;
    while (true) {
      if (auto connection = TryConnect()) {
        return Attach(std::move(process), std::move(connection), headless);
      }
      if (!process->Alive()) {
        std::string tail = LogTail(log);
        throw AutomationError(kCannotCreate, "The office ended before answering on the pipe '" +
                                                 options_.pipe_name + "' (exit status " +
                                                 std::to_string(process->status()) + ")" +
                                                 (tail.empty() ? "" : "; its log says: " + tail));
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        process->Kill();
        throw AutomationError(
            kCannotCreate, "The office did not answer on the pipe '" + options_.pipe_name +
                               "' within " + std::to_string(options_.start_timeout.count() / 1000) +
                               " s; see " + log.string());
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }

 private:
  std::unique_ptr<OfficeConnection> TryConnect() {
    try {
      return std::make_unique<OfficeConnection>(options_.pipe_name, options_.call_timeout);
    } catch (const css::connection::NoConnectException&) {
      return nullptr;
    } catch (const css::uno::Exception& e) {
      last_connect_error_ = FromOU(e.Message);
      return nullptr;
    }
  }

  std::shared_ptr<XlApplication> Attach(std::unique_ptr<OfficeProcess> process,
                                        std::unique_ptr<OfficeConnection> connection,
                                        bool headless) {
    try {
      return MakeApplication(
          std::make_shared<Session>(options_, std::move(process), std::move(connection), headless));
    } catch (const css::uno::Exception& e) {
      throw AutomationError(kCannotCreate, "The office on the pipe '" + options_.pipe_name +
                                               "' does not offer a desktop: " + FromOU(e.Message));
    }
  }

  UnoOptions options_;
  std::string last_connect_error_;
};

}  // namespace

std::string DefaultPipeName() { return "kestrin_office_" + std::to_string(getuid()); }

std::unique_ptr<XlServer> MakeUnoXlServer(const UnoOptions& options) {
  return std::make_unique<UnoServer>(options);
}

}  // namespace kestrin::automation::uno
