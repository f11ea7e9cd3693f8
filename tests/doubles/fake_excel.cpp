#include "tests/doubles/fake_excel.h"

#include "automation/utf8.h"

#include <algorithm>
#include <charconv>

namespace kestrin::testing {

using automation::AutomationError;
namespace errnum = automation::errnum;

namespace {

constexpr std::int32_t kApplicationError = 1004;

[[noreturn]] void BadAddress(std::string_view text) {
  throw AutomationError(kApplicationError,
                        "Method 'Range' of object '_Global' failed: '" + std::string(text) + "'");
}

// Parses a decimal number at the front of `s`, advancing past it.
std::optional<std::int32_t> TakeNumber(std::string_view& s) {
  std::int32_t n = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
  if (ec != std::errc() || end == s.data()) return std::nullopt;
  s.remove_prefix(end - s.data());
  return n;
}

std::optional<std::int32_t> TakeLetters(std::string_view& s) {
  std::int32_t col = 0;
  size_t i = 0;
  while (i < s.size() && s[i] >= 'A' && s[i] <= 'Z' && i < 3) {
    col = col * 26 + (s[i] - 'A' + 1);
    ++i;
  }
  if (i == 0) return std::nullopt;
  s.remove_prefix(i);
  return col;
}

CellPos ParseA1Cell(std::string_view cell, std::string_view whole, CellPos last) {
  std::string_view s = cell;
  auto col = TakeLetters(s);
  auto row = col ? TakeNumber(s) : std::nullopt;
  if (!col || !row || !s.empty() || *row < 1 || *row > last.row || *col > last.col) {
    BadAddress(whole);
  }
  return {*row, *col};
}

CellBlock Normalised(CellPos a, CellPos b) {
  return {{std::min(a.row, b.row), std::min(a.col, b.col)},
          {std::max(a.row, b.row), std::max(a.col, b.col)}};
}

std::string FieldNamesText(const automation::PivotFieldNames& names) {
  if (const auto* one = std::get_if<std::string>(&names)) return *one;
  std::string text = "[";
  for (const auto& n : std::get<std::vector<std::string>>(names)) {
    if (text.size() > 1) text += ",";
    text += n;
  }
  return text + "]";
}

std::string BoolText(bool b) { return b ? "True" : "False"; }

int IndexOf(const FakeWorkbook& wb, const FakeSheet* sheet) {
  for (size_t i = 0; i < wb.sheets.size(); ++i) {
    if (&wb.sheets[i] == sheet) return static_cast<int>(i);
  }
  throw AutomationError(kApplicationError, "The sheet is no longer in its workbook");
}

}  // namespace

CellPos GridOf(std::string_view path) {
  return path.ends_with(".xls") ? kXlsGrid : CellPos{1048576, 16384};
}

CellPos ParseR1C1(std::string_view ref, CellPos last) {
  std::string_view s = ref;
  if (s.empty() || s[0] != 'r') BadAddress(ref);
  s.remove_prefix(1);
  auto row = TakeNumber(s);
  if (!row || s.empty() || s[0] != 'c') BadAddress(ref);
  s.remove_prefix(1);
  auto col = TakeNumber(s);
  if (!col || !s.empty() || *row < 1 || *row > last.row || *col < 1 || *col > last.col) {
    BadAddress(ref);
  }
  return {*row, *col};
}

CellBlock ParseA1(std::string_view address, CellPos last) {
  const auto colon = address.find(':');
  if (colon == std::string_view::npos) {
    CellPos p = ParseA1Cell(address, address, last);
    return {p, p};
  }
  return Normalised(ParseA1Cell(address.substr(0, colon), address, last),
                    ParseA1Cell(address.substr(colon + 1), address, last));
}

CellBlock ParseRowSpan(std::string_view span, CellPos last) {
  std::string_view s = span;
  auto first = TakeNumber(s);
  if (!first || s.empty() || s[0] != ':') BadAddress(span);
  s.remove_prefix(1);
  auto end = TakeNumber(s);
  if (!end || !s.empty() || *first < 1 || *end < 1 || *first > last.row || *end > last.row) {
    BadAddress(span);
  }
  return Normalised({*first, 1}, {*end, last.col});
}

CellBlock ParseColumnSpan(std::string_view span, CellPos last) {
  std::string_view s = span;
  auto first = TakeLetters(s);
  if (!first || s.empty() || s[0] != ':') BadAddress(span);
  s.remove_prefix(1);
  auto end = TakeLetters(s);
  if (!end || !s.empty() || *first > last.col || *end > last.col) BadAddress(span);
  return Normalised({1, *first}, {last.row, *end});
}

const Value* FakeSheet::Cell(std::int32_t row, std::int32_t col) const {
  auto it = cells.find({row, col});
  return it == cells.end() ? nullptr : &it->second;
}

FakeSheet& FakeWorkbook::Sheet(std::string_view name) {
  for (auto& s : sheets) {
    if (s.name == name) return s;
  }
  throw AutomationError(errnum::kSubscriptOutOfRange, "Subscript out of range");
}

// ---------------------------------------------------------------------------

class FakeExcel::BorderImpl : public automation::XlBorder {
 public:
  BorderImpl(FakeExcel& xl, BorderState& state, std::string prefix)
      : xl_(xl), state_(state), prefix_(std::move(prefix)) {}
  void SetLineStyle(int v) override {
    xl_.Call(prefix_ + ".LineStyle=" + std::to_string(v));
    state_.line_style = v;
  }
  void SetWeight(int v) override {
    xl_.Call(prefix_ + ".Weight=" + std::to_string(v));
    state_.weight = v;
  }
  void SetColorIndex(int v) override {
    xl_.Call(prefix_ + ".ColorIndex=" + std::to_string(v));
    state_.color_index = v;
  }

 private:
  FakeExcel& xl_;
  BorderState& state_;
  std::string prefix_;
};

class FakeExcel::RangeImpl : public automation::XlRange {
 public:
  enum class Kind { kCells, kRows, kColumns, kActiveCell, kSelection };
  RangeImpl(FakeExcel& xl, Kind kind, CellBlock block, std::string address)
      : xl_(xl), kind_(kind), block_(block), address_(std::move(address)) {}

  void Clear() override {
    xl_.Call(Prefix() + ".Clear");
    FakeSheet& sheet = xl_.RequireActiveSheet();
    std::erase_if(sheet.cells, [&](const auto& kv) { return block_.Contains(kv.first); });
    std::erase_if(sheet.formats, [&](const auto& kv) { return block_.Contains(kv.first); });
    std::erase_if(sheet.borders, [&](const auto& kv) {
      const CellBlock b = ParseA1(kv.first.first, xl_.Grid());
      return block_.Contains(b.first) && block_.Contains(b.last);
    });
  }
  void Select() override {
    xl_.Call(Prefix() + ".Select");
    xl_.Select(block_, address_);
  }
  void AutoFilter() override {
    xl_.Call(Prefix() + ".AutoFilter");
    xl_.RequireActiveSheet().autofilter = address_;
  }
  void AutoFit() override {
    xl_.Call(Prefix() + ".AutoFit");
    FakeSheet& sheet = xl_.RequireActiveSheet();
    if (kind_ == Kind::kRows) {
      sheet.fitted_rows.push_back(address_);
    } else if (kind_ == Kind::kColumns) {
      sheet.fitted_columns.push_back(address_);
    } else {
      throw AutomationError(kApplicationError, "AutoFit method of Range class failed");
    }
  }
  void SetValue(const Value& value) override {
    if (xl_.logging_or_failures()) xl_.Call(Prefix() + ".Value=" + automation::Describe(value));
    xl_.RequireWorkbook();
    if (value.kind() == Value::Kind::kText &&
        automation::Utf16Length(value.text()) > automation::xl::kMaxCellText) {
      throw AutomationError(kApplicationError, "The text does not fit in a cell");
    }
    ++xl_.cell_writes_;
    FakeSheet& sheet = xl_.RequireActiveSheet();
    for (std::int32_t r = block_.first.row; r <= block_.last.row; ++r) {
      for (std::int32_t c = block_.first.col; c <= block_.last.col; ++c) {
        if (value.is_null()) {
          sheet.cells.erase({r, c});
        } else {
          sheet.cells.insert_or_assign({r, c}, value);
        }
      }
    }
  }
  std::unique_ptr<automation::XlBorder> Borders(int index) override {
    const std::string prefix = Prefix() + ".Borders(" + std::to_string(index) + ")";
    xl_.Call(prefix);
    if (index < 5 || index > 12) {
      throw AutomationError(kApplicationError, "Unable to get the Borders property");
    }
    auto& state = xl_.RequireActiveSheet().borders[{address_, index}];
    return std::make_unique<BorderImpl>(xl_, state, prefix);
  }

 private:
  std::string Prefix() const {
    switch (kind_) {
      case Kind::kActiveCell:
        return "ActiveCell";
      case Kind::kSelection:
        return "Selection";
      case Kind::kRows:
        return "Rows(" + address_ + ")";
      case Kind::kColumns:
        return "Columns(" + address_ + ")";
      case Kind::kCells:
        break;
    }
    return "Range(" + address_ + ")";
  }
  FakeExcel& xl_;
  Kind kind_;
  CellBlock block_;
  std::string address_;
};

class FakeExcel::PivotFieldImpl : public automation::XlPivotField {
 public:
  PivotFieldImpl(FakeExcel& xl, FakePivotTable& pt, std::string name)
      : xl_(xl), pt_(pt), name_(std::move(name)) {}
  void SetOrientation(int orientation) override {
    xl_.Call("PivotFields(" + name_ + ").Orientation=" + std::to_string(orientation));
    if (orientation == automation::xl::kDataField) pt_.data_fields.push_back(name_);
  }

 private:
  FakeExcel& xl_;
  FakePivotTable& pt_;
  std::string name_;
};

class FakeExcel::PivotTableImpl : public automation::XlPivotTable {
 public:
  PivotTableImpl(FakeExcel& xl, FakePivotTable& pt) : xl_(xl), pt_(pt) {}
  void AddFields(const automation::PivotFieldNames& rows,
                 const automation::PivotFieldNames& columns) override {
    xl_.Call("PivotTables(" + pt_.name + ").AddFields(" + FieldNamesText(rows) + "," +
             FieldNamesText(columns) + ")");
    for (const auto* names : {&rows, &columns}) {
      std::vector<std::string> list;
      if (const auto* one = std::get_if<std::string>(names)) {
        list.push_back(*one);
      } else {
        list = std::get<std::vector<std::string>>(*names);
      }
      for (const auto& n : list) Field(n);
    }
    pt_.row_fields = rows;
    pt_.column_fields = columns;
  }
  std::unique_ptr<automation::XlPivotField> PivotFields(const std::string& name) override {
    xl_.Call("PivotTables(" + pt_.name + ").PivotFields(" + name + ")");
    Field(name);
    return std::make_unique<PivotFieldImpl>(xl_, pt_, name);
  }

 private:
  void Field(const std::string& name) const {
    if (std::find(pt_.source_fields.begin(), pt_.source_fields.end(), name) ==
        pt_.source_fields.end()) {
      throw AutomationError(
          kApplicationError,
          "Unable to get the PivotFields property of the PivotTable class: '" + name + "'");
    }
  }
  FakeExcel& xl_;
  FakePivotTable& pt_;
};

class FakeExcel::SheetImpl : public automation::XlSheet {
 public:
  SheetImpl(FakeExcel& xl, FakeWorkbook& wb, FakeSheet& sheet) : xl_(xl), wb_(wb), sheet_(sheet) {}
  std::string Name() const override { return sheet_.name; }
  std::int32_t RowsCount() override { return GridOf(wb_.path).row; }
  std::int32_t ColumnsCount() override { return GridOf(wb_.path).col; }
  void Activate() override {
    xl_.Call("Sheets(" + sheet_.name + ").Activate");
    wb_.active_sheet = Index();
    xl_.selection_.reset();
    xl_.active_cell_.reset();
  }
  void PivotTableWizard(int source_type, const std::string& source_data,
                        const std::string& destination, const std::string& name) override {
    xl_.Call("PivotTableWizard(" + std::to_string(source_type) + "," + source_data + "," +
             destination + "," + name + ")");
    const auto bang = source_data.rfind('!');
    if (source_type != automation::xl::kDatabase || bang == std::string::npos ||
        !destination.empty()) {
      throw AutomationError(kApplicationError, "PivotTableWizard method failed");
    }
    FakeSheet* source = nullptr;
    for (auto& s : wb_.sheets) {
      if (s.name == source_data.substr(0, bang)) source = &s;
    }
    if (source == nullptr) {
      throw AutomationError(kApplicationError, "Reference isn't valid: " + source_data);
    }
    const CellBlock block = ParseA1(source_data.substr(bang + 1), GridOf(wb_.path));
    FakePivotTable pt{name, source_data, {}, {}, {}, {}};
    for (std::int32_t c = block.first.col; c <= block.last.col; ++c) {
      const Value* v = source->Cell(block.first.row, c);
      if (v == nullptr || v->kind() != Value::Kind::kText || v->text().empty()) {
        throw AutomationError(kApplicationError, "The PivotTable field name is not valid.");
      }
      pt.source_fields.push_back(v->text());
    }
    // A new sheet before the source sheet, named SheetN with the first free N.
    const int at = IndexOf(wb_, source);
    std::string sheet_name;
    for (int n = 1;; ++n) {
      sheet_name = "Sheet" + std::to_string(n);
      if (std::none_of(wb_.sheets.begin(), wb_.sheets.end(),
                       [&](const FakeSheet& s) { return s.name == sheet_name; })) {
        break;
      }
    }
    auto it = wb_.sheets.insert(wb_.sheets.begin() + at, FakeSheet{});
    it->name = sheet_name;
    it->pivot_tables.push_back(std::move(pt));
    wb_.active_sheet = at;
    xl_.selection_.reset();
    xl_.active_cell_.reset();
  }
  std::unique_ptr<automation::XlPivotTable> PivotTables(const std::string& name) override {
    xl_.Call("PivotTables(" + name + ")");
    for (auto& pt : sheet_.pivot_tables) {
      if (pt.name == name) return std::make_unique<PivotTableImpl>(xl_, pt);
    }
    throw AutomationError(
        kApplicationError,
        "Unable to get the PivotTables property of the Worksheet class: '" + name + "'");
  }

 private:
  int Index() const { return IndexOf(wb_, &sheet_); }
  FakeExcel& xl_;
  FakeWorkbook& wb_;
  FakeSheet& sheet_;
};

class FakeExcel::SheetsImpl : public automation::XlSheets {
 public:
  SheetsImpl(FakeExcel& xl, FakeWorkbook& wb) : xl_(xl), wb_(wb) {}
  int Count() const override { return static_cast<int>(wb_.sheets.size()); }
  std::unique_ptr<automation::XlSheet> Item(int index) override {
    if (index < 1 || index > Count()) {
      throw AutomationError(errnum::kSubscriptOutOfRange, "Subscript out of range");
    }
    return std::make_unique<SheetImpl>(xl_, wb_, wb_.sheets[index - 1]);
  }
  std::unique_ptr<automation::XlSheet> Item(std::string_view name) override {
    return std::make_unique<SheetImpl>(xl_, wb_, wb_.Sheet(name));
  }

 private:
  FakeExcel& xl_;
  FakeWorkbook& wb_;
};

class FakeExcel::WorkbookImpl : public automation::XlWorkbook {
 public:
  WorkbookImpl(FakeExcel& xl, FakeWorkbook& wb) : xl_(xl), wb_(wb) {}
  std::unique_ptr<automation::XlSheets> Sheets() override {
    return std::make_unique<SheetsImpl>(xl_, wb_);
  }
  void Save() override {
    xl_.Call("Workbook.Save");
    ++wb_.saves;
  }
  void Close(bool save_changes) override {
    xl_.Call("Workbook.Close(" + BoolText(save_changes) + ")");
    if (save_changes) ++wb_.saves;
    wb_.closed = true;
    std::erase(xl_.open_, &wb_);
  }

 private:
  FakeExcel& xl_;
  FakeWorkbook& wb_;
};

// ---------------------------------------------------------------------------

FakeExcel::FakeExcel() = default;
FakeExcel::~FakeExcel() = default;

FakeWorkbook& FakeExcel::AddFile(const std::string& path,
                                 const std::vector<std::string>& sheet_names) {
  auto wb = std::make_unique<FakeWorkbook>();
  wb->path = path;
  for (const auto& n : sheet_names) wb->sheets.push_back(FakeSheet{n, {}, {}, {}, {}, {}, {}, {}});
  auto& ref = *wb;
  files_[path] = std::move(wb);
  return ref;
}

FakeWorkbook& FakeExcel::OpenForTest(const std::string& path) {
  auto it = files_.find(path);
  if (it == files_.end()) {
    throw AutomationError(kApplicationError, "'" + path + "' could not be found.");
  }
  it->second->closed = false;
  std::erase(open_, it->second.get());
  open_.push_back(it->second.get());
  return *it->second;
}

void FakeExcel::FailOn(std::string prefix, AutomationError error) {
  failure_.emplace(std::move(prefix), std::move(error));
}

FakeWorkbook* FakeExcel::active_workbook() { return open_.empty() ? nullptr : open_.back(); }

CellPos FakeExcel::Grid() const { return open_.empty() ? kXlsGrid : GridOf(open_.back()->path); }

void FakeExcel::Call(const std::string& text) {
  if (quit_) {
    throw AutomationError(-2147023174, "The RPC server is unavailable.");
  }
  if (failure_ && text.starts_with(failure_->first)) {
    AutomationError e = failure_->second;
    failure_.reset();
    throw e;
  }
  if (logging_) calls_.push_back(text);
}

FakeWorkbook& FakeExcel::RequireWorkbook() {
  if (quit_) throw AutomationError(-2147023174, "The RPC server is unavailable.");
  if (open_.empty()) {
    throw AutomationError(errnum::kObjectNotSet, "Object variable or With block variable not set");
  }
  return *open_.back();
}

void FakeExcel::Select(const CellBlock& block, std::string address) {
  RequireWorkbook();
  selection_ = block;
  selection_address_ = std::move(address);
  active_cell_ = block.first;
}

void FakeExcel::WorkbooksOpen(const std::string& path) {
  Call("Workbooks.Open(" + path + ")");
  OpenForTest(path);
}

std::unique_ptr<automation::XlWorkbook> FakeExcel::ActiveWorkbook() {
  return std::make_unique<WorkbookImpl>(*this, RequireWorkbook());
}

std::unique_ptr<automation::XlSheet> FakeExcel::ActiveSheet() {
  FakeWorkbook& wb = RequireWorkbook();
  return std::make_unique<SheetImpl>(*this, wb, wb.ActiveSheet());
}

void FakeExcel::SetDisplayAlerts(bool on) {
  Call("DisplayAlerts=" + BoolText(on));
  display_alerts_ = on;
}

void FakeExcel::Quit() {
  Call("Quit");
  quit_ = true;
}

void FakeExcel::SetVisible(bool on) {
  Call("Visible=" + BoolText(on));
  visible_ = on;
}

void FakeExcel::Goto(std::string_view reference) {
  if (logging_or_failures()) {
    Call("Goto(" + std::string(reference) + ")");
  } else if (quit_) {
    Call("");
  }
  const CellPos p = ParseR1C1(reference, Grid());
  RequireWorkbook();
  selection_ = CellBlock{p, p};
  selection_address_.clear();
  active_cell_ = p;
}

std::unique_ptr<automation::XlRange> FakeExcel::ActiveCell() {
  RequireWorkbook();
  if (!active_cell_) {
    throw AutomationError(errnum::kObjectNotSet, "Object variable or With block variable not set");
  }
  return std::make_unique<RangeImpl>(*this, RangeImpl::Kind::kActiveCell,
                                     CellBlock{*active_cell_, *active_cell_}, std::string());
}

std::unique_ptr<automation::XlRange> FakeExcel::Selection() {
  RequireWorkbook();
  if (!selection_) {
    throw AutomationError(errnum::kObjectNotSet, "Object variable or With block variable not set");
  }
  return std::make_unique<RangeImpl>(*this, RangeImpl::Kind::kSelection, *selection_,
                                     selection_address_);
}

std::unique_ptr<automation::XlRange> FakeExcel::Range(std::string_view address) {
  return std::make_unique<RangeImpl>(*this, RangeImpl::Kind::kCells, ParseA1(address, Grid()),
                                     std::string(address));
}

std::unique_ptr<automation::XlRange> FakeExcel::Rows(std::string_view span) {
  return std::make_unique<RangeImpl>(*this, RangeImpl::Kind::kRows, ParseRowSpan(span, Grid()),
                                     std::string(span));
}

std::unique_ptr<automation::XlRange> FakeExcel::Columns(std::string_view span) {
  return std::make_unique<RangeImpl>(*this, RangeImpl::Kind::kColumns,
                                     ParseColumnSpan(span, Grid()), std::string(span));
}

}  // namespace kestrin::testing
