// The workbooks this program opened in one office, in the order they were
// made active, and what it knows of each (its file, its backup, its view).
// Internal to automation/uno/.
#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>

#include "automation/uno/number_formats.h"

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

  NumberFormatKeys& Formats();
};

class Workbooks {
 public:
  // The workbook opened or activated last; throws 91 when there is none.
  Book& Active();
  bool empty() const { return books_.empty(); }
  // The entry of an open workbook, or null.
  Book* Find(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);
  Book* Find(const std::filesystem::path& path);
  // Makes the entry of `doc` the active one; false when there is none.
  bool MakeActive(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);
  // Adds a workbook just opened, as the active one.
  Book& Add(Book book);
  void Remove(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);
  // Forgets the workbooks the office no longer has open (closed behind the
  // program's back); true when there were any. Asks the office about each.
  bool ForgetClosed();
  std::vector<Book>& all() { return books_; }

  // The view of an open workbook; throws 1004 when it has none.
  static css::uno::Reference<css::sheet::XSpreadsheetView> View(
      const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);
  static css::uno::Reference<css::sheet::XSpreadsheet> ActiveSheetOf(const Book& book);
  // True while the office still has the document open.
  static bool Alive(const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);
  // Closes a document without saving, even when it is modified.
  static void Close(const css::uno::Reference<css::lang::XComponent>& component);

 private:
  std::vector<Book> books_;  // back() is active
};

}  // namespace kestrin::automation::uno
