// Test support for the office engine: one private office per test binary
// (own pipe, own profile in a temporary folder, ended and removed at exit),
// workbooks made or copied into that folder, and a second UNO bridge to the
// same office for reading saved files back.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

#include "automation/excel.h"
#include "automation/uno/addresses.h"
#include "automation/uno/office_process.h"
#include "automation/uno/uno_excel.h"
#include "tests/support/temp_folder.h"

namespace kestrin::automation::uno::testing {

namespace css = ::com::sun::star;
namespace fs = std::filesystem;

using kestrin::testing::TempFolder;

// The binary's shared office, started on first use.
struct SharedOffice {
  UnoOptions options;
  std::shared_ptr<XlApplication> app;
};
SharedOffice& Office();
// The folder of this binary's run (workbooks, backups, profile).
const fs::path& RunDir();

// Options for an office of a test's own: a unique pipe, profile and backup
// folder under `dir`.
UnoOptions OwnOfficeOptions(const fs::path& dir, const std::string& tag);

// Copies tests/data/workbooks/<name> to a new unique path in the run folder.
fs::path CopyWorkbook(const std::string& name);
// A new unique path in the run folder with that extension, not yet created.
fs::path NewPath(const std::string& stem, const std::string& ext);

// Writes a workbook through the office: sheets in order, each with rows of
// cells (text or number; an empty text leaves the cell empty). Formats by
// extension: .xls (Excel 97) or .xlsx.
using Cell = std::variant<std::string, double>;
struct SheetContent {
  std::string name;
  std::vector<std::vector<Cell>> rows;
  int row_height = 0;  // 1/100 mm for every row given, 0 to leave them
  // Number formats of the user's own: A1 cell -> format code.
  std::map<std::string, std::string> formats = {};
  // Blocks of merged cells, in A1 form ("B1:D1").
  std::vector<std::string> merged = {};
};
void MakeWorkbook(const fs::path& path, const std::vector<SheetContent>& sheets);

// A text setting of the shared office, as it reads its configuration
// (node "/org.openoffice.Setup/Product", name "ooSetupVersion"); empty when
// it has none.
std::string OfficeSetting(const std::string& node, const std::string& name);

// The language the shared office shows its menus in ("ja", "en-US").
std::string OfficeUiLanguage();

// The text of one member of a zip file (an .xlsx part such as
// "xl/sharedStrings.xml"), read with unzip; throws when it cannot be read.
std::string ZipMember(const fs::path& zip, const std::string& member);

// Closes the document of that file in the shared office, behind the back of
// whoever opened it. Returns false when no such document is open.
bool CloseInOffice(const fs::path& path);

// Protects a sheet of the document of that file open in the shared office,
// as a user would, so that the office refuses changes to its cells.
void ProtectSheetInOffice(const fs::path& path, const std::string& sheet);

// The titles of the undo actions of the document of that file open in the
// shared office, as its Edit menu would list them (newest first).
std::vector<std::string> UndoTitlesInOffice(const fs::path& path);

// The pid of the office proper (soffice.bin) that listens on `pipe`, or -1.
pid_t OfficePid(const std::string& pipe);
// True once the process has ended (a zombie counts) within `limit`.
bool GoneWithin(pid_t pid, std::chrono::seconds limit);

// Ends the offices a test started when the test ends, passed or failed, so
// that none outlives it: the sessions it keeps are quit, and an office it
// names by pid and pipe is killed if that process still listens there. Only
// processes the test started are touched.
class OfficeCleanUp {
 public:
  OfficeCleanUp() = default;
  OfficeCleanUp(const OfficeCleanUp&) = delete;
  OfficeCleanUp& operator=(const OfficeCleanUp&) = delete;
  ~OfficeCleanUp();

  std::shared_ptr<XlApplication> Keep(std::shared_ptr<XlApplication> app);
  void KillAtEnd(pid_t pid, const std::string& pipe);

 private:
  std::vector<std::shared_ptr<XlApplication>> apps_;
  std::vector<std::pair<pid_t, std::string>> offices_;
};

// An X server of the test's own (Xvfb, 1280×1024) on the first free display
// from :90, logging to `log`. Sets `display` (":90") once it accepts
// connections; the returned process ends it.
std::unique_ptr<OfficeProcess> StartTestXServer(const fs::path& log, std::string& display);

// Quits the session, if any, ignoring failures, and lets it go.
void QuitQuietly(std::shared_ptr<XlApplication>& app);

// A saved workbook loaded hidden through the reading bridge.
class SavedBook {
 public:
  explicit SavedBook(const fs::path& path);
  SavedBook(const SavedBook&) = delete;
  SavedBook& operator=(const SavedBook&) = delete;
  ~SavedBook();

  std::vector<std::string> SheetNames() const;
  css::uno::Reference<css::sheet::XSpreadsheet> Sheet(const std::string& name) const;

  enum class Kind { kEmpty, kNumber, kText, kFormula };
  struct CellInfo {
    Kind kind = Kind::kEmpty;
    double number = 0;
    std::string text;
    short format_type = 0;  // css::util::NumberFormat bits of its format
    std::string format_code;
    std::string format_locale;  // of its format: "ja-JP", "en-US"; empty for the default
    std::string shown;          // the cell's text as displayed
  };
  CellInfo At(const std::string& sheet, const std::string& a1) const;
  // Widths (1/100 mm) of the cell's left, top, right, bottom lines and of
  // its two diagonals (top-left to bottom-right, bottom-left to top-right).
  std::vector<int> Lines(const std::string& sheet, const std::string& a1) const;
  // The sheet's AutoFilter block, if it has one.
  std::optional<Block> AutoFilter(const std::string& sheet) const;
  int RowHeight(const std::string& sheet, int row) const;    // row from 0
  int ColumnWidth(const std::string& sheet, int col) const;  // column from 0
  int ChartCount(const std::string& sheet) const;

  struct Pivot {
    std::vector<std::string> rows, columns, data;
    std::vector<int> data_functions;  // css::sheet::GeneralFunction
    CellPos output;                   // first cell of its output
    std::string source_sheet;
    Block source;
  };
  std::map<std::string, Pivot> Pivots(const std::string& sheet) const;
  // The sheet the saved file opens on.
  std::string ActiveSheetName() const;

 private:
  css::uno::Reference<css::sheet::XSpreadsheetDocument> doc_;
};

}  // namespace kestrin::automation::uno::testing
