// What the program relies on of the spreadsheet application.
//
// The destination workbook is written only through these interfaces, which
// follow Excel's object model: the application with its active workbook and
// active sheet, the selection, ranges addressed in A1 form, single cells
// selected with Goto in "r<row>c<column>" form, borders, AutoFilter, AutoFit
// and pivot tables. One real implementation drives an office suite out of
// process; tests use an in-memory double. Every member may throw
// AutomationError with the failure's number and description.
//
// Handles returned as unique_ptr are the caller's; they refer to the live
// object and may be dropped at any time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "automation/value.h"

namespace kestrin::automation {

// Excel's constants that the program passes.
namespace xl {
inline constexpr int kDiagonalDown = 5;
inline constexpr int kDiagonalUp = 6;
inline constexpr int kEdgeLeft = 7;
inline constexpr int kEdgeTop = 8;
inline constexpr int kEdgeBottom = 9;
inline constexpr int kEdgeRight = 10;
inline constexpr int kInsideVertical = 11;
inline constexpr int kInsideHorizontal = 12;
inline constexpr int kLineStyleNone = -4142;
inline constexpr int kContinuous = 1;
inline constexpr int kThin = 2;
inline constexpr int kColorIndexAutomatic = -4105;
inline constexpr int kDatabase = 1;   // PivotTableWizard SourceType: a list on a worksheet
inline constexpr int kDataField = 4;  // PivotField Orientation: data area
inline constexpr std::size_t kMaxCellText = 32767;  // UTF-16 units a cell holds
}  // namespace xl

class XlBorder {
 public:
  XlBorder() = default;
  XlBorder(const XlBorder&) = delete;
  XlBorder& operator=(const XlBorder&) = delete;
  virtual ~XlBorder() = default;

  virtual void SetLineStyle(int style) = 0;
  virtual void SetWeight(int weight) = 0;
  virtual void SetColorIndex(int index) = 0;
};

class XlRange {
 public:
  XlRange() = default;
  XlRange(const XlRange&) = delete;
  XlRange& operator=(const XlRange&) = delete;
  virtual ~XlRange() = default;

  // Clears contents and formats.
  virtual void Clear() = 0;
  // Makes the range the selection of the active sheet.
  virtual void Select() = 0;
  // Puts an AutoFilter (no criteria) on the range, replacing any AutoFilter
  // the sheet already has, so that repeating an export never switches the
  // filter of an earlier run off.
  virtual void AutoFilter() = 0;
  // Fits row heights (a range from Rows) or column widths (from Columns).
  virtual void AutoFit() = 0;
  // Value of the range's first cell. Null empties the cell. A text longer
  // than kMaxCellText UTF-16 units throws 1004: a cell cannot hold it, and
  // cutting it short would lose data without a word.
  virtual void SetValue(const Value& value) = 0;
  // Borders(index) with Excel's border index (5 to 12).
  virtual std::unique_ptr<XlBorder> Borders(int index) = 0;
};

// A list of field names passed to AddFields: one name or a list of names,
// which Excel's late-bound call tells apart.
using PivotFieldNames = std::variant<std::string, std::vector<std::string>>;

class XlPivotField {
 public:
  XlPivotField() = default;
  XlPivotField(const XlPivotField&) = delete;
  XlPivotField& operator=(const XlPivotField&) = delete;
  virtual ~XlPivotField() = default;

  virtual void SetOrientation(int orientation) = 0;
};

class XlPivotTable {
 public:
  XlPivotTable() = default;
  XlPivotTable(const XlPivotTable&) = delete;
  XlPivotTable& operator=(const XlPivotTable&) = delete;
  virtual ~XlPivotTable() = default;

  // Places row and column fields. Throws when a name is not a field of the
  // pivot table's source.
  virtual void AddFields(const PivotFieldNames& row_fields,
                         const PivotFieldNames& column_fields) = 0;
  // Throws when the source has no field of that name.
  virtual std::unique_ptr<XlPivotField> PivotFields(const std::string& name) = 0;
};

class XlSheet {
 public:
  XlSheet() = default;
  XlSheet(const XlSheet&) = delete;
  XlSheet& operator=(const XlSheet&) = delete;
  virtual ~XlSheet() = default;

  virtual std::string Name() const = 0;
  // Makes this the active sheet of its workbook.
  virtual void Activate() = 0;
  // Rows.Count and Columns.Count: the number of rows and columns the sheet
  // has, which its workbook's file format sets (65,536 x 256 in an .xls,
  // 1,048,576 x 16,384 in an .xlsx). Cells beyond them cannot be addressed.
  virtual std::int32_t RowsCount() = 0;
  virtual std::int32_t ColumnsCount() = 0;
  // Creates a pivot table from source_data ("Sheet!A1:E101", the sheet name
  // unquoted) on a new sheet inserted before the source sheet, which becomes
  // the active sheet. An empty table_destination leaves placement to the
  // application. Throws when the name is in use or the source is unusable.
  virtual void PivotTableWizard(int source_type, const std::string& source_data,
                                const std::string& table_destination,
                                const std::string& table_name) = 0;
  // The pivot table of that name on this sheet. Throws when there is none.
  virtual std::unique_ptr<XlPivotTable> PivotTables(const std::string& name) = 0;
};

class XlSheets {
 public:
  XlSheets() = default;
  XlSheets(const XlSheets&) = delete;
  XlSheets& operator=(const XlSheets&) = delete;
  virtual ~XlSheets() = default;

  virtual int Count() const = 0;
  // Sheet by position from 1, worksheets and chart sheets alike, in order.
  // Throws 9 when out of range.
  virtual std::unique_ptr<XlSheet> Item(int index) = 0;
  // Sheet by name. Throws 9 when the workbook has none of that name.
  virtual std::unique_ptr<XlSheet> Item(std::string_view name) = 0;
};

class XlWorkbook {
 public:
  XlWorkbook() = default;
  XlWorkbook(const XlWorkbook&) = delete;
  XlWorkbook& operator=(const XlWorkbook&) = delete;
  virtual ~XlWorkbook() = default;

  virtual std::unique_ptr<XlSheets> Sheets() = 0;
  // Saves under its own name, in the file's own format.
  virtual void Save() = 0;
  // Closes the workbook; changes are discarded unless save_changes.
  virtual void Close(bool save_changes) = 0;
};

// The spreadsheet application (XlApp).
class XlApplication {
 public:
  XlApplication() = default;
  XlApplication(const XlApplication&) = delete;
  XlApplication& operator=(const XlApplication&) = delete;
  virtual ~XlApplication() = default;

  // Workbooks.Open: opens the file; it becomes the active workbook. Throws
  // when the file is missing or cannot be opened.
  virtual void WorkbooksOpen(const std::string& path) = 0;
  // Throws 91 when no workbook is open.
  virtual std::unique_ptr<XlWorkbook> ActiveWorkbook() = 0;
  // Throws 91 when no workbook is open.
  virtual std::unique_ptr<XlSheet> ActiveSheet() = 0;

  virtual void SetDisplayAlerts(bool on) = 0;
  // Ends the application. Nothing may be called afterwards.
  virtual void Quit() = 0;
  // Shows (or hides) the application with its workbook window. Throws when it
  // cannot be shown.
  virtual void SetVisible(bool on) = 0;

  // Selects one cell of the active sheet, "r<row>c<column>" (lower case,
  // decimal). Throws when the reference is malformed or off the sheet.
  virtual void Goto(std::string_view reference) = 0;
  virtual std::unique_ptr<XlRange> ActiveCell() = 0;
  virtual std::unique_ptr<XlRange> Selection() = 0;
  // A block of the active sheet in A1 form, e.g. "B3:F103".
  virtual std::unique_ptr<XlRange> Range(std::string_view address) = 0;
  // Whole rows "1:101" / whole columns "C:G" of the active sheet.
  virtual std::unique_ptr<XlRange> Rows(std::string_view span) = 0;
  virtual std::unique_ptr<XlRange> Columns(std::string_view span) = 0;
};

// Attach-or-start for the spreadsheet application.
class XlServer {
 public:
  XlServer() = default;
  XlServer(const XlServer&) = delete;
  XlServer& operator=(const XlServer&) = delete;
  virtual ~XlServer() = default;

  // Attaches to a running instance. Throws when none answers.
  virtual std::shared_ptr<XlApplication> GetObject() = 0;
  // Starts a new instance. Throws when it cannot be started in time.
  virtual std::shared_ptr<XlApplication> CreateObject() = 0;
};

}  // namespace kestrin::automation
