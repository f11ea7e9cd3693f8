// The Excel object model over a session: borders, ranges, pivot tables,
// sheets, the workbook and the application.
#include <algorithm>
#include <utility>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/DataPilotFieldOrientation.hpp>
#include <com/sun/star/sheet/GeneralFunction.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XDataPilotDescriptor.hpp>
#include <com/sun/star/sheet/XDataPilotTables.hpp>
#include <com/sun/star/sheet/XDataPilotTablesSupplier.hpp>
#include <com/sun/star/sheet/XDatabaseRange.hpp>
#include <com/sun/star/sheet/XSheetOperation.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XUnnamedDatabaseRanges.hpp>
#include <com/sun/star/table/BorderLine2.hpp>
#include <com/sun/star/table/BorderLineStyle.hpp>
#include <com/sun/star/table/CellAddress.hpp>
#include <com/sun/star/table/TableBorder2.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include "automation/messages.h"
#include "automation/uno/column_fit.h"
#include "automation/uno/session.h"
#include "automation/utf8.h"

namespace kestrin::automation::uno {
namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

// The office cuts longer texts short without a word when it saves, so they
// are refused instead.
void RefuseTextTooLongForACell(const Value& value, int row, int col) {
  if (value.kind() != Value::Kind::kText) return;
  const std::size_t units = Utf16Length(value.text());
  if (units > xl::kMaxCellText) {
    throw AutomationError(kAppDefined,
                          msg::kTextTooLong({std::to_string(units), std::to_string(row + 1),
                                             std::to_string(col + 1)}));
  }
}

// --- borders ----------------------------------------------------------------------

class UnoRange;

class UnoBorder : public XlBorder {
 public:
  UnoBorder(SessionPtr s, Reference<css::table::XCellRange> range,
            Reference<css::sheet::XSpreadsheet> sheet, Block block, int index, Session::Task task)
      : s_(std::move(s)),
        range_(std::move(range)),
        sheet_(std::move(sheet)),
        block_(block),
        index_(index),
        task_(std::move(task)) {}

  void SetLineStyle(int style) override {
    if (style != xl::kLineStyleNone && style != xl::kContinuous) {
      throw AutomationError(
          kAppDefined,
          msg::kCannotSetProperty(
              {"Border", "LineStyle", msg::kLineStyleUnsupported({std::to_string(style)})}));
    }
    style_ = style;
    Apply();
  }
  void SetWeight(int weight) override {
    if (Width(weight) < 0) {
      throw AutomationError(kAppDefined, msg::kCannotSetProperty(
                                             {"Border", "Weight",
                                              msg::kWeightUnsupported({std::to_string(weight)})}));
    }
    weight_ = weight;
    if (style_ == xl::kLineStyleNone) style_ = xl::kContinuous;
    Apply();
  }
  void SetColorIndex(int index) override {
    if (Color(index) < 0) {
      throw AutomationError(
          kAppDefined, msg::kCannotSetProperty({"Border", "ColorIndex",
                                                msg::kColorUnsupported({std::to_string(index)})}));
    }
    color_ = index;
    if (style_ == xl::kLineStyleNone) style_ = xl::kContinuous;
    Apply();
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

  void Apply() {
    css::table::BorderLine2 line;
    if (style_ != xl::kLineStyleNone) {
      line.LineStyle = css::table::BorderLineStyle::SOLID;
      line.LineWidth = static_cast<sal_uInt32>(Width(weight_));
      line.OuterLineWidth = static_cast<sal_Int16>(Width(weight_));
      line.Color = Color(color_);
    }
    // Kept with the other lines of the block; they reach the office together.
    s_->Call(task_, kLeavesPending | kLeavesCells,
             [&] { s_->pending().DrawLine(sheet_, block_, range_, index_, line, task_); });
  }

  SessionPtr s_;
  Reference<css::table::XCellRange> range_;
  Reference<css::sheet::XSpreadsheet> sheet_;
  Block block_;
  int index_;
  int style_ = xl::kContinuous;
  int weight_ = xl::kThin;
  int color_ = xl::kColorIndexAutomatic;
  Session::Task task_;  // "セル B3:F103 の罫線の設定", for failures
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
    s_->Call(Task(msg::kTaskClear()), [&] {
      // Everything but drawing objects: a chart lying over the block stays,
      // as it does in Excel.
      constexpr sal_Int32 kAllButObjects = 1023 & ~css::sheet::CellFlags::OBJECTS;
      Query<css::sheet::XSheetOperation>(Range())->clearContents(kAllButObjects);
    });
  }

  void Select() override {
    s_->Call(Task(msg::kTaskSelect()), kLeavesCells | kLeavesRowHeights, [&] {
      Reference<css::view::XSelectionSupplier> sel(Session_View(), UNO_QUERY_THROW);
      sel->select(Any(Range()));
      s_->ChoseView(doc_);
      s_->pending().CursorAt(CellPos{block_.top, block_.left});
    });
  }

  void AutoFilter() override {
    s_->Call(Task(msg::kTaskAutoFilter()), kLeavesCells | kLeavesRowHeights, [&] {
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
      // The sheet's own AutoFilter moves to the target block; asking again for
      // the same block leaves it on, so a repeated export keeps its filter.
      Reference<css::sheet::XUnnamedDatabaseRanges> unnamed(
          docProps->getPropertyValue("UnnamedDatabaseRanges"), UNO_QUERY_THROW);
      if (unnamed->hasByTable(target.Sheet)) {
        Reference<css::sheet::XDatabaseRange> db(unnamed->getByTable(target.Sheet),
                                                 UNO_QUERY_THROW);
        auto p = Props(db);
        if (p->getPropertyValue("AutoFilter").get<bool>()) {
          p->setPropertyValue("AutoFilter", Any(false));
        }
      }
      unnamed->setByTable(target);
      Reference<css::sheet::XDatabaseRange> db(unnamed->getByTable(target.Sheet), UNO_QUERY_THROW);
      Props(db)->setPropertyValue("AutoFilter", Any(true));
    });
  }

  void AutoFit() override {
    // Row heights change no cell, and a row fit sets them whatever they
    // were; a column fit may work on a scratch sheet.
    const unsigned leaves =
        kind_ == RangeKind::kRows ? kLeavesCells | kLeavesRowHeights : kLeavesNothing;
    s_->Call(Task(msg::kTaskFit()), leaves, [&] {
      auto rr = Query<css::table::XColumnRowRange>(Range());
      if (kind_ == RangeKind::kRows) {
        Props(rr->getRows())->setPropertyValue("OptimalHeight", Any(true));
        auto a = Address(rr);
        s_->pending().RowsFitted(doc_, sheet_, a.StartRow, a.EndRow);
      } else if (kind_ == RangeKind::kColumns) {
        auto a = Address(rr);
        ColumnFitReport report;
        if (s_->options().fast_column_fit) {
          report =
              FitColumns(doc_, sheet_, a.StartColumn, a.EndColumn, s_->WrittenInto(doc_, sheet_));
        } else {
          FitColumnsPlainly(sheet_, a.StartColumn, a.EndColumn);
          report.columns = report.measured_plainly = a.EndColumn - a.StartColumn + 1;
        }
        if (s_->options().on_column_fit) s_->options().on_column_fit(report);
      } else {
        throw AutomationError(kAppDefined,
                              msg::kMethodFailed({"Range", "AutoFit", msg::kFitWholeOnly()}));
      }
    });
  }

  void SetValue(const Value& value) override {
    RefuseTextTooLongForACell(value, block_.top, block_.left);
    if (kind_ == RangeKind::kActiveCell) {
      s_->PutActiveCell(CellPos{block_.top, block_.left}, value);
      return;
    }
    s_->Call(Task(msg::kTaskWrite()), [&] {
      Book* book = s_->books().Find(doc_);
      if (book == nullptr) throw AutomationError(kAppDefined, msg::kBookClosed());
      s_->WriteCell(*book, sheet_->getCellByPosition(block_.left, block_.top), value);
    });
  }

  std::unique_ptr<XlBorder> Borders(int index) override {
    if (index < xl::kDiagonalDown || index > xl::kInsideHorizontal) {
      throw AutomationError(
          kAppDefined,
          msg::kCannotGetProperty({"Range", "Borders", msg::kBadIndex({std::to_string(index)})}));
    }
    // Pending cells and lines stay pending: the lines of one block go to the
    // office together.
    auto range =
        s_->Call(Task(msg::kTaskLines()), kLeavesPending | kLeavesCells, [&] { return Range(); });
    return std::make_unique<UnoBorder>(s_, range, sheet_, block_, index, Task(msg::kTaskLines()));
  }

 private:
  Reference<css::sheet::XSpreadsheetView> Session_View() {
    Resolve();
    Reference<css::frame::XModel> model(doc_, UNO_QUERY_THROW);
    return Reference<css::sheet::XSpreadsheetView>(model->getCurrentController(), UNO_QUERY_THROW);
  }

  // "セル B3:F103 の消去" with the range's sheet and workbook.
  Session::Task Task(const std::string& verb) const {
    std::string what;
    switch (kind_) {
      case RangeKind::kCells:
        what = ColumnLetters(block_.left) + std::to_string(block_.top + 1);
        if (block_.top != block_.bottom || block_.left != block_.right) {
          what += ':';
          what += ColumnLetters(block_.right);
          what += std::to_string(block_.bottom + 1);
        }
        what = msg::kTaskCell({what});
        break;
      case RangeKind::kRows:
        what = msg::kTaskRows(
            {std::to_string(block_.top + 1) + ":" + std::to_string(block_.bottom + 1)});
        break;
      case RangeKind::kColumns:
        what = msg::kTaskColumns({ColumnLetters(block_.left) + ":" + ColumnLetters(block_.right)});
        break;
      case RangeKind::kActiveCell:
        what = msg::kTaskCellRC({std::to_string(block_.top + 1), std::to_string(block_.left + 1)});
        break;
    }
    return Session::Task(msg::kTaskOn({what, verb}), doc_, sheet_);
  }

  // The office's range, clamped to the sheet for whole rows and columns.
  // The active cell's sheet is looked up once the pending cells are sent.
  void Resolve() {
    if (!sheet_.is()) {
      doc_ = s_->books().Active().doc;
      sheet_ = Workbooks::ActiveSheetOf(s_->books().Active());
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
// a number: Excel then sums the field, otherwise it counts it. The column is
// read in bands, so that a source of any size is never held at once.
bool AllNumbers(const Reference<css::sheet::XSpreadsheetDocument>& doc,
                const css::table::CellRangeAddress& source, const std::string& field) {
  if (source.EndRow <= source.StartRow) return false;
  Reference<css::sheet::XSpreadsheet> sheet(SheetList(doc)->getByIndex(source.Sheet),
                                            UNO_QUERY_THROW);
  auto data = [&](sal_Int32 left, sal_Int32 top, sal_Int32 right, sal_Int32 bottom) {
    return Query<css::sheet::XCellRangeData>(
               sheet->getCellRangeByPosition(left, top, right, bottom))
        ->getDataArray();
  };
  const Sequence<Any> head =
      data(source.StartColumn, source.StartRow, source.EndColumn, source.StartRow)[0];
  for (sal_Int32 c = 0; c < head.getLength(); ++c) {
    OUString name;
    double number = 0;
    if (head[c] >>= name) {
    } else if (head[c] >>= number) {
      name = OUString::number(number);
    }
    if (FromOU(name) != field) continue;
    constexpr sal_Int32 kBand = 65536;
    for (sal_Int32 top = source.StartRow + 1; top <= source.EndRow; top += kBand) {
      const sal_Int32 bottom = std::min(source.EndRow, top + kBand - 1);
      const auto column = data(source.StartColumn + c, top, source.StartColumn + c, bottom);
      for (const Sequence<Any>& cell : column) {
        if (!(cell[0] >>= number)) return false;
      }
    }
    return true;
  }
  return false;
}

// "合計 / Amount" for a sum, "データの個数 / Name" for a count.
std::string DataFieldCaption(bool sum, const std::string& field) {
  return std::string(sum ? "合計" : "データの個数") + " / " + field;
}

class UnoPivotField : public XlPivotField {
 public:
  UnoPivotField(SessionPtr s, Reference<css::sheet::XSpreadsheetDocument> doc,
                Reference<css::sheet::XDataPilotDescriptor> table, std::string name)
      : s_(std::move(s)), doc_(std::move(doc)), table_(std::move(table)), name_(std::move(name)) {}

  void SetOrientation(int orientation) override {
    sal_Int32 o = OrientationOf(orientation);
    if (o < 0) {
      throw AutomationError(
          kAppDefined,
          msg::kCannotSetProperty(
              {"PivotField", "Orientation", msg::kBadOrientation({std::to_string(orientation)})}));
    }
    s_->Call(Session::Task(msg::kTaskPlaceField({name_}), doc_), [&] {
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
        // Captioned as a Japanese spreadsheet captions it, in whatever
        // language the office runs; the name is saved with the data field.
        Query<css::container::XNamed>(field)->setName(ToOU(DataFieldCaption(sum, name_)));
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
    s_->Call(Session::Task(msg::kTaskAddFields({name_}), doc_), [&] {
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
    s_->Call(Session::Task(msg::kTaskFindPivotField({name_, name}), doc_), kLeavesCells, [&] {
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
      throw AutomationError(kAppDefined, msg::kPivotNoField({name_, n}));
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

// Inserts a pivot table named `name` of the list `source` into `tables`, its
// output from `where`.
void InsertPivotTable(const Reference<css::sheet::XSpreadsheetDocument>& doc,
                      const Reference<css::sheet::XDataPilotTables>& tables,
                      const std::string& name, const css::table::CellRangeAddress& source,
                      const css::table::CellAddress& where) {
  Reference<css::sheet::XDataPilotDescriptor> descriptor = tables->createDataPilotDescriptor();
  descriptor->setSourceRange(source);
  Props(descriptor)->setPropertyValue("ShowFilterButton", Any(false));
  Props(descriptor)->setPropertyValue("GrandTotalName", Any(ToOU("総計")));
  // The office renames a new table whose name another sheet's table has: it
  // is inserted under a name free in the workbook, then given its own, which
  // the office keeps.
  std::string free_name = name;
  for (int n = 2; PivotNameInUse(doc, free_name); ++n) {
    free_name = name + " (" + std::to_string(n) + ")";
  }
  tables->insertNewByName(ToOU(free_name), where, descriptor);
  if (free_name != name) {
    css::uno::Reference<css::container::XNamed>(tables->getByName(ToOU(free_name)), UNO_QUERY_THROW)
        ->setName(ToOU(name));
  }
}

class UnoSheet : public XlSheet {
 public:
  UnoSheet(SessionPtr s, Reference<css::sheet::XSpreadsheetDocument> doc,
           Reference<css::sheet::XSpreadsheet> sheet)
      : s_(std::move(s)), doc_(std::move(doc)), sheet_(std::move(sheet)) {}

  std::string Name() const override {
    return s_->Call(Session::Task(msg::kTaskSheetName(), doc_), kLeavesCells | kLeavesRowHeights,
                    [&] { return SheetName(sheet_); });
  }

  std::int32_t RowsCount() override { return TheGrid().rows; }
  std::int32_t ColumnsCount() override { return TheGrid().columns; }

  void Activate() override {
    s_->Call(Session::Task(msg::kTaskActivate(), doc_, sheet_), kLeavesCells, [&] {
      Workbooks::View(doc_)->setActiveSheet(sheet_);
      s_->ChoseView(doc_);
      s_->MakeActive(doc_);
      s_->pending().ForgetCursor();
    });
  }

  void PivotTableWizard(int source_type, const std::string& source_data,
                        const std::string& table_destination,
                        const std::string& table_name) override {
    if (source_type != xl::kDatabase) {
      throw AutomationError(kAppDefined, msg::kMethodFailed({"Worksheet", "PivotTableWizard",
                                                             msg::kWizardListOnly()}));
    }
    SheetBlock source = ParseSheetBlock(source_data);
    s_->Call(Session::Task(msg::kTaskCreatePivot({source_data, table_name}), doc_), [&] {
      Reference<css::sheet::XSpreadsheet> source_sheet = FindSheet(doc_, source.sheet);
      if (!source_sheet.is()) {
        throw AutomationError(kAppDefined,
                              msg::kWizardSays({msg::kWizardNoSourceSheet({source.sheet})}));
      }
      if (source.block.bottom == source.block.top) {
        throw AutomationError(kAppDefined,
                              msg::kWizardSays({msg::kWizardNoRecords({source_data})}));
      }
      std::string name = table_name;
      for (int n = 1; name.empty(); ++n) {
        if (!PivotNameInUse(doc_, "PivotTable" + std::to_string(n))) {
          name = "PivotTable" + std::to_string(n);
        }
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
        target = bang == std::string_view::npos ? Workbooks::View(doc_)->getActiveSheet()
                                                : FindSheet(doc_, ParseSheetBlock(dest).sheet);
        if (!target.is()) {
          throw AutomationError(kAppDefined,
                                msg::kWizardSays({msg::kWizardNoDestination({table_destination})}));
        }
        Block b = ParseA1Block(bang == std::string_view::npos ? dest : dest.substr(bang + 1));
        at = CellPos{b.top, b.left};
      }
      auto tables = Query<css::sheet::XDataPilotTablesSupplier>(target)->getDataPilotTables();
      // Names are the sheet's own: only a name taken on the receiving
      // sheet is refused (a new sheet has none).
      if (tables->hasByName(ToOU(name))) {
        throw AutomationError(kAppDefined, msg::kPivotNameTaken({SheetName(target), name}));
      }
      try {
        css::table::CellRangeAddress range;
        range.Sheet = static_cast<sal_Int16>(SheetIndex(source_sheet));
        range.StartColumn = source.block.left;
        range.StartRow = source.block.top;
        range.EndColumn = source.block.right;
        range.EndRow = source.block.bottom;
        InsertPivotTable(
            doc_, tables, name, range,
            css::table::CellAddress(static_cast<sal_Int16>(SheetIndex(target)), at.col, at.row));
      } catch (...) {
        if (new_sheet) doc_->getSheets()->removeByName(ToOU(SheetName(target)));
        throw;
      }
      Workbooks::View(doc_)->setActiveSheet(target);
      s_->ChoseView(doc_);
      s_->pending().ForgetCursor();
    });
  }

  std::unique_ptr<XlPivotTable> PivotTables(const std::string& name) override {
    auto table =
        s_->Call(Session::Task(msg::kTaskFindPivot({name}), doc_, sheet_), kLeavesCells, [&] {
          auto tables = Query<css::sheet::XDataPilotTablesSupplier>(sheet_)->getDataPilotTables();
          if (!tables->hasByName(ToOU(name))) {
            throw AutomationError(
                kAppDefined,
                msg::kCannotGetProperty(
                    {"Worksheet", "PivotTables", msg::kNoPivotNamed({SheetName(sheet_), name})}));
          }
          return Reference<css::sheet::XDataPilotDescriptor>(tables->getByName(ToOU(name)),
                                                             UNO_QUERY_THROW);
        });
    return std::make_unique<UnoPivotTable>(s_, doc_, table, name);
  }

 private:
  // The grid of the workbook's file format.
  Grid TheGrid() {
    const Book* book = s_->books().Find(doc_);
    if (book == nullptr) {
      throw AutomationError(errnum::kObjectNotSet,
                            msg::kBookClosedAlready({errnum::kObjectNotSet.Description()}));
    }
    return GridOf(book->path);
  }

  SessionPtr s_;
  Reference<css::sheet::XSpreadsheetDocument> doc_;
  Reference<css::sheet::XSpreadsheet> sheet_;
};

class UnoSheets : public XlSheets {
 public:
  UnoSheets(SessionPtr s, Reference<css::sheet::XSpreadsheetDocument> doc)
      : s_(std::move(s)), doc_(std::move(doc)) {}

  int Count() const override {
    return s_->Call(Session::Task(msg::kTaskCountSheets(), doc_), kLeavesCells,
                    [&] { return static_cast<int>(SheetList(doc_)->getCount()); });
  }

  std::unique_ptr<XlSheet> Item(int index) override {
    auto sheet = s_->Call(
        Session::Task(msg::kTaskFindSheetAt({std::to_string(index)}), doc_), kLeavesCells, [&] {
          auto list = SheetList(doc_);
          if (index < 1 || index > list->getCount()) {
            throw AutomationError(errnum::kSubscriptOutOfRange,
                                  msg::kNoSheetAt({errnum::kSubscriptOutOfRange.Description(),
                                                   std::to_string(index)}));
          }
          return Reference<css::sheet::XSpreadsheet>(list->getByIndex(index - 1), UNO_QUERY_THROW);
        });
    return std::make_unique<UnoSheet>(s_, doc_, sheet);
  }

  std::unique_ptr<XlSheet> Item(std::string_view name) override {
    auto sheet = s_->Call(Session::Task(msg::kTaskFindSheet({name}), doc_), kLeavesCells, [&] {
      auto found = FindSheet(doc_, name);
      if (!found.is()) {
        throw AutomationError(
            errnum::kSubscriptOutOfRange,
            msg::kNoSheetNamed({errnum::kSubscriptOutOfRange.Description(), name}));
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
    s_->Call(Session::Task(msg::kTaskSave(), doc_), kLeavesCells, [&] { s_->Save(TheBook()); });
  }

  void Close(bool save_changes) override {
    s_->Call(Session::Task(msg::kTaskCloseBook(), doc_),
             [&] { s_->CloseBook(TheBook(), save_changes); });
  }

 private:
  kestrin::automation::uno::Book& TheBook() {
    auto* book = s_->books().Find(doc_);
    if (book == nullptr) {
      throw AutomationError(errnum::kObjectNotSet,
                            msg::kBookClosedAlready({errnum::kObjectNotSet.Description()}));
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
    return std::make_unique<UnoWorkbook>(
        s_, s_->Call(msg::kTaskActiveBook(), kLeavesCells | kLeavesRowHeights,
                     [&] { return s_->books().Active().doc; }));
  }

  std::unique_ptr<XlSheet> ActiveSheet() override {
    Reference<css::sheet::XSpreadsheetDocument> doc;
    auto sheet = s_->Call(msg::kTaskActiveSheet(), kLeavesCells | kLeavesRowHeights, [&] {
      doc = s_->books().Active().doc;
      return Workbooks::ActiveSheetOf(s_->books().Active());
    });
    return std::make_unique<UnoSheet>(s_, doc, sheet);
  }

  void SetDisplayAlerts(bool) override {
    // The office asks nothing during calls made over UNO.
    s_->Call(msg::kTaskSendCells(), kLeavesCells, [] {});
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
    return s_->Call(msg::kTaskSelection(), kLeavesCells | kLeavesRowHeights, [&] {
      auto doc = s_->books().Active().doc;
      Reference<css::view::XSelectionSupplier> sel(Workbooks::View(doc), UNO_QUERY_THROW);
      Reference<css::sheet::XCellRangeAddressable> range(sel->getSelection(), UNO_QUERY);
      if (!range.is()) {
        throw AutomationError(kAppDefined, msg::kSelectionNotCells());
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
    return MakeRange(address, ParseA1Block(address), RangeKind::kCells);
  }
  std::unique_ptr<XlRange> Rows(std::string_view span) override {
    return MakeRange(span, ParseRowSpan(span), RangeKind::kRows);
  }
  std::unique_ptr<XlRange> Columns(std::string_view span) override {
    return MakeRange(span, ParseColumnSpan(span), RangeKind::kColumns);
  }

 private:
  std::unique_ptr<XlRange> MakeRange(std::string_view text, Block block, RangeKind kind) {
    // Finding a range neither reads nor shows row heights: the rows' owed
    // adjustment waits for what is done with the range (a row fit pays it).
    return s_->Call(msg::kTaskFindRange({text}), kLeavesCells | kLeavesRowHeights, [&] {
      auto doc = s_->books().Active().doc;
      if (kind == RangeKind::kCells) Session::CheckInGrid(s_->books().Active(), block, text);
      if (kind == RangeKind::kRows)
        Session::CheckInGrid(s_->books().Active(), Block{block.top, 0, block.bottom, 0}, text);
      if (kind == RangeKind::kColumns)
        Session::CheckInGrid(s_->books().Active(), Block{0, block.left, 0, block.right}, text);
      return std::make_unique<UnoRange>(s_, doc, Workbooks::ActiveSheetOf(s_->books().Active()),
                                        block, kind);
    });
  }

  SessionPtr s_;
};

}  // namespace

// The application object lent to the caller; the shared Session lives on in
// the handles taken from it.
std::shared_ptr<XlApplication> MakeApplication(SessionPtr session) {
  return std::make_shared<UnoApplication>(std::move(session));
}

}  // namespace kestrin::automation::uno
