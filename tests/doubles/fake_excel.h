// An in-memory spreadsheet application for tests. It keeps workbooks with
// sheets, typed cell values, cell formats, borders, AutoFilters, fitted rows
// and columns, pivot tables and the selection, and logs the calls made on
// it, so tests can check both the end state and the exact calls.
#pragma once

#include <compare>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "automation/excel.h"
#include "automation/failure.h"

namespace kestrin::testing {

using automation::Value;

struct CellPos {
  std::int32_t row = 0;
  std::int32_t col = 0;
  friend auto operator<=>(const CellPos&, const CellPos&) = default;
};

// A rectangle of cells; whole rows or columns span the sheet.
struct CellBlock {
  CellPos first;
  CellPos last;
  bool Contains(CellPos p) const {
    return p.row >= first.row && p.row <= last.row && p.col >= first.col && p.col <= last.col;
  }
};

// The last cell of a sheet: an .xls sheet's (65,536 rows, 256 columns), and
// that of a workbook at `path` (an .xlsx sheet has 1,048,576 x 16,384).
inline constexpr CellPos kXlsGrid{65536, 256};
CellPos GridOf(std::string_view path);

// Parsers for the address forms the program uses. Throw AutomationError 1004
// when the text is not of that form or lies beyond `last`.
CellPos ParseR1C1(std::string_view ref, CellPos last = kXlsGrid);           // "r3c2"
CellBlock ParseA1(std::string_view address, CellPos last = kXlsGrid);       // "B3" or "B3:F103"
CellBlock ParseRowSpan(std::string_view span, CellPos last = kXlsGrid);     // "1:101"
CellBlock ParseColumnSpan(std::string_view span, CellPos last = kXlsGrid);  // "C:G"

struct BorderState {
  std::optional<int> line_style;
  std::optional<int> weight;
  std::optional<int> color_index;
  friend bool operator==(const BorderState&, const BorderState&) = default;
};

struct FakePivotTable {
  std::string name;
  std::string source_data;
  std::vector<std::string> source_fields;  // the heading row of the source
  std::optional<automation::PivotFieldNames> row_fields;
  std::optional<automation::PivotFieldNames> column_fields;
  std::vector<std::string> data_fields;
};

struct FakeSheet {
  std::string name;
  std::map<CellPos, Value> cells;
  std::map<CellPos, std::string> formats;                      // number formats, fonts: any text
  std::map<std::pair<std::string, int>, BorderState> borders;  // (A1 range, index)
  std::optional<std::string> autofilter;                       // A1 range
  std::vector<std::string> fitted_rows;                        // "1:101"
  std::vector<std::string> fitted_columns;                     // "C:G"
  std::vector<FakePivotTable> pivot_tables;

  const Value* Cell(std::int32_t row, std::int32_t col) const;
};

struct FakeWorkbook {
  std::string path;
  std::deque<FakeSheet> sheets;
  int active_sheet = 0;  // index into sheets
  int saves = 0;
  bool closed = false;

  FakeSheet& Sheet(std::string_view name);
  FakeSheet& ActiveSheet() { return sheets.at(active_sheet); }
};

class FakeExcel : public automation::XlApplication {
 public:
  FakeExcel();
  ~FakeExcel() override;

  // A workbook file that WorkbooksOpen can open, with sheets of these names.
  FakeWorkbook& AddFile(const std::string& path, const std::vector<std::string>& sheet_names);
  // Opens a file made with AddFile, as WorkbooksOpen does, without logging.
  FakeWorkbook& OpenForTest(const std::string& path);

  // The call log, e.g. "Goto(r3c2)", "ActiveCell.Value=\"x\"",
  // "Range(B3:F10).Clear", "Selection.Borders(7).Weight=2". Logging can be
  // switched off (benchmarks).
  const std::vector<std::string>& calls() const { return calls_; }
  void set_logging(bool on) { logging_ = on; }
  void ClearCalls() { calls_.clear(); }
  std::int64_t cell_writes() const { return cell_writes_; }

  // The first later call whose log text starts with `prefix` throws `error`
  // (the call has no effect).
  void FailOn(std::string prefix, automation::AutomationError error);

  std::optional<CellBlock> selection() const { return selection_; }
  std::optional<CellPos> active_cell() const { return active_cell_; }
  bool visible() const { return visible_; }
  bool display_alerts() const { return display_alerts_; }
  bool quit() const { return quit_; }
  FakeWorkbook* active_workbook();
  // The active workbook's last cell (an .xls sheet's when none is open).
  CellPos Grid() const;

  // XlApplication
  void WorkbooksOpen(const std::string& path) override;
  std::unique_ptr<automation::XlWorkbook> ActiveWorkbook() override;
  std::unique_ptr<automation::XlSheet> ActiveSheet() override;
  void SetDisplayAlerts(bool on) override;
  void Quit() override;
  void SetVisible(bool on) override;
  void Goto(std::string_view reference) override;
  std::unique_ptr<automation::XlRange> ActiveCell() override;
  std::unique_ptr<automation::XlRange> Selection() override;
  std::unique_ptr<automation::XlRange> Range(std::string_view address) override;
  std::unique_ptr<automation::XlRange> Rows(std::string_view span) override;
  std::unique_ptr<automation::XlRange> Columns(std::string_view span) override;

 private:
  class RangeImpl;
  class BorderImpl;
  class SheetImpl;
  class SheetsImpl;
  class WorkbookImpl;
  class PivotTableImpl;
  class PivotFieldImpl;

  // Logs the call (when logging) and throws an injected failure that matches.
  void Call(const std::string& text);
  bool logging_or_failures() const { return logging_ || failure_.has_value(); }
  FakeWorkbook& RequireWorkbook();
  FakeSheet& RequireActiveSheet() { return RequireWorkbook().ActiveSheet(); }
  void Select(const CellBlock& block, std::string address);

  std::map<std::string, std::unique_ptr<FakeWorkbook>> files_;
  std::vector<FakeWorkbook*> open_;  // in opening order; the last is active
  std::vector<std::string> calls_;
  bool logging_ = true;
  std::optional<std::pair<std::string, automation::AutomationError>> failure_;
  std::optional<CellBlock> selection_;
  std::string selection_address_;
  std::optional<CellPos> active_cell_;
  bool visible_ = false;
  bool display_alerts_ = true;
  bool quit_ = false;
  std::int64_t cell_writes_ = 0;
};

}  // namespace kestrin::testing
