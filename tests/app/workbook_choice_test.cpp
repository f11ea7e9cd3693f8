// The workbook choice in the window and a whole export from it, offscreen,
// with the Access reader and a private office behind the window and the
// dialogs answered by the test: a database written by the test, a workbook
// made by the test and one made by Excel with a chart sheet, cancels and
// re-choices, and a second choice after a run that saved the workbook and
// quit the office.
#include <gtest/gtest.h>

#include <com/sun/star/util/NumberFormat.hpp>

#include <memory>
#include <string>
#include <vector>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/frm_kestrin.h"
#include "app/module_state.h"
#include "app/option_pair.h"
#include "automation/mdb/mdb_access.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/controls.h"
#include "tests/support/jet4_writer.h"
#include "tests/support/office_harness.h"
#include "tests/support/window_support.h"
#include "workbook/open_workbook.h"

namespace kestrin::windowtest {
namespace {

using namespace automation::uno::testing;
using automation::Value;
using T = testsupport::AccessType;
using namespace kestrin::testing;

// Records of every kind the export writes: numbers, text (Japanese
// included), dates with and without a time, currency, and empty values.
testsupport::Jet4Table SalesTable() {
  testsupport::Jet4Table t{"売上",
                           {{"番号", T::kLong},
                            {"日付", T::kDateTime},
                            {"品名", T::kText},
                            {"数量", T::kLong},
                            {"単価", T::kCurrency},
                            {"比率", T::kDouble}},
                           {},
                           std::nullopt};
  const char* names[] = {"りんご", "みかん", "Banana", "ぶどう（房）", ""};
  for (int i = 0; i < 23; ++i) {
    std::vector<Value> row = {Value(1000 + i),
                              Value(automation::DateTime{45000.0 + i + (i % 3) * 0.25}),
                              Value(std::string(names[i % 5])),
                              Value(i * 3 - 10),
                              Value(automation::Currency{i * 12345LL}),
                              Value(i / 8.0 - 1.0)};
    if (i % 7 == 6) row[2] = Value(automation::Null{});
    if (i % 5 == 4) row[5] = Value(automation::Null{});
    t.rows.push_back(std::move(row));
  }
  return t;
}

std::string Column(int col) { return std::string(1, static_cast<char>('A' + col)); }

// The saved sheet against the records read through the Access reader, cell
// by cell, with the heading at (row, col).
void ExpectRecordsAt(const SavedBook& saved, const std::string& sheet, int row, int col,
                     automation::DaoDatabase& db, const std::string& table) {
  auto rs = db.OpenRecordset(table);
  const int fields = rs->Fields().Count();
  for (int f = 0; f < fields; ++f) {
    EXPECT_EQ(saved.At(sheet, Column(col - 1 + f) + std::to_string(row)).text,
              rs->Fields().Name(f));
  }
  int r = row + 1, records = 0;
  for (; !rs->Eof(); rs->MoveNext(), ++r, ++records) {
    for (int f = 0; f < fields; ++f) {
      const std::string a1 = Column(col - 1 + f) + std::to_string(r);
      SCOPED_TRACE(a1);
      const Value v = rs->FieldValue(f);
      const SavedBook::CellInfo cell = saved.At(sheet, a1);
      switch (v.kind()) {
        case Value::Kind::kNull:
          EXPECT_EQ(cell.kind, SavedBook::Kind::kEmpty);
          break;
        case Value::Kind::kText:
          if (v.text().empty()) {
            EXPECT_EQ(cell.kind, SavedBook::Kind::kEmpty);
          } else {
            EXPECT_EQ(cell.kind, SavedBook::Kind::kText);
            EXPECT_EQ(cell.text, v.text());
          }
          break;
        case Value::Kind::kInteger:
          EXPECT_EQ(cell.number, static_cast<double>(v.integer()));
          break;
        case Value::Kind::kCurrency:
          EXPECT_EQ(cell.number, static_cast<double>(v.currency().ten_thousandths) / 10000.0);
          break;
        case Value::Kind::kDouble:
          EXPECT_EQ(cell.number, v.real());
          break;
        case Value::Kind::kDateTime:
          EXPECT_EQ(cell.number, v.datetime().serial);
          EXPECT_TRUE(cell.format_type & css::util::NumberFormat::DATE);
          break;
        default:
          ADD_FAILURE() << "a kind the table does not hold";
      }
    }
  }
  EXPECT_EQ(records, 23);
  EXPECT_EQ(saved.At(sheet, Column(col - 1) + std::to_string(r)).kind, SavedBook::Kind::kEmpty);
}

TEST(WorkbookChoice, ChoosingCancellingReChoosingAndAnExportThroughTheWindow) {
  TempFolder dir;
  auto access = automation::mdb::MakeMdbAccessServer();
  // An office of the window's own: nothing answers on its pipe at first, so
  // the window starts one, as the program does when no office runs.
  auto excel = automation::uno::MakeUnoXlServer(OwnOfficeOptions(dir.path(), "window"));
  testing::RecordingMessageBox messages;
  AnsweredDialogs dialogs;
  app::ModuleState state;
  app::FrmKestrin w(state, app::WindowServices{*access, *excel, messages, nullptr, "", &dialogs});
  w.Form_Load();

  testsupport::Jet4Database db;
  db.tables.push_back(SalesTable());
  const fs::path mdb = dir.path() / "sales.mdb";
  testsupport::WriteJet4Database(db, mdb);
  const fs::path made = NewPath("made", ".xls");
  MakeWorkbook(made, {{"表紙", {{"売上の報告"}}}, {"データ出力", {}}, {"集計・表", {{1.0}}}});
  const fs::path chart = CopyWorkbook("chart_sheet.xlsx");
  const QStringList made_sheets{"表紙", "データ出力", "集計・表"};
  const QStringList chart_sheets{"Sheet1", "Sheet2", "Chart1", "Sheet3"};

  dialogs.answers.push_back(mdb.string());
  Button(w, "cmdAcFile")->click();
  ASSERT_EQ(Entries(*Combo(w, "cboTables")), QStringList{"売上"});
  ASSERT_TRUE(Widget(w, "Frame4")->isEnabled());
  ASSERT_FALSE(Combo(w, "cboSheet")->isEnabled());

  // A cancelled first choice: the office is started before the dialog and
  // kept; nothing else changes.
  dialogs.answers.push_back("");
  Button(w, "cmdXlFile")->click();
  EXPECT_TRUE(Label(w, "lblXlFile")->text().isEmpty());
  EXPECT_FALSE(Combo(w, "cboSheet")->isEnabled());
  ASSERT_TRUE(state.workbook.XlApp);
  EXPECT_EQ(state.workbook.XlNewF, 1);
  EXPECT_EQ(dialogs.shown.back().title, "Excelファイルの選択");
  EXPECT_EQ(dialogs.shown.back().filters.at(0).description, "Excel(*.xls;*.xlsx)");
  EXPECT_EQ(dialogs.shown.back().filters.at(0).pattern, "*.xls;*.xlsx");

  dialogs.answers.push_back(made.string());
  Button(w, "cmdXlFile")->click();
  EXPECT_EQ(Label(w, "lblXlFile")->text().toStdString(), made.string());
  EXPECT_TRUE(Combo(w, "cboSheet")->isEnabled());
  EXPECT_EQ(Entries(*Combo(w, "cboSheet")), made_sheets);
  EXPECT_EQ(Combo(w, "cboSheet")->currentIndex(), 0);

  // Choosing again closes the program's own office with its workbook first.
  std::weak_ptr<automation::XlApplication> first = state.workbook.XlApp;
  dialogs.answers.push_back(chart.string());
  Button(w, "cmdXlFile")->click();
  EXPECT_TRUE(first.expired());
  EXPECT_EQ(Entries(*Combo(w, "cboSheet")), chart_sheets);  // the chart sheet in its place
  EXPECT_EQ(Combo(w, "cboSheet")->currentText(), "Sheet1");

  // A cancelled later choice: closed and quit all the same, the sheet names
  // of the old workbook stay.
  std::weak_ptr<automation::XlApplication> second = state.workbook.XlApp;
  dialogs.answers.push_back("");
  Button(w, "cmdXlFile")->click();
  EXPECT_TRUE(second.expired());
  EXPECT_TRUE(Label(w, "lblXlFile")->text().isEmpty());
  EXPECT_EQ(Entries(*Combo(w, "cboSheet")), chart_sheets);
  ASSERT_TRUE(state.workbook.XlApp);
  EXPECT_TRUE(messages.shown.empty());

  // The export: heading and records into the Japanese-named sheet from B2,
  // the workbook saved and the office quit afterwards (Display 1).
  dialogs.answers.push_back(made.string());
  Button(w, "cmdXlFile")->click();
  ASSERT_EQ(Entries(*Combo(w, "cboSheet")), made_sheets);
  Combo(w, "cboSheet")->setCurrentIndex(1);
  Opt(w, "optTable")->Select(0);
  Edit(w, "txtRow")->setText("2");
  Edit(w, "txtCol")->setText("2");
  Opt(w, "optView")->Select(1);
  Opt(w, "optGrid")->Select(1);
  Opt(w, "optPivot")->Select(0);
  Button(w, "cmdExec")->click();
  for (const auto& m : messages.shown) ADD_FAILURE() << m.prompt;
  EXPECT_FALSE(state.workbook.XlApp);
  EXPECT_EQ(state.workbook.XlNewF, 1);
  EXPECT_EQ(Label(w, "lblXlFile")->text().toStdString(), made.string());
  {
    SavedBook saved(made);
    EXPECT_EQ(saved.SheetNames(), (std::vector<std::string>{"表紙", "データ出力", "集計・表"}));
    EXPECT_EQ(saved.At("表紙", "A1").text, "売上の報告");
    ExpectRecordsAt(saved, "データ出力", 2, 2, *state.source.AcDb, "売上");
  }

  // After that run the office is gone: the next choice skips closing it and
  // starts a new one, so a second workbook can be chosen.
  dialogs.answers.push_back(chart.string());
  Button(w, "cmdXlFile")->click();
  EXPECT_EQ(Label(w, "lblXlFile")->text().toStdString(), chart.string());
  EXPECT_EQ(Entries(*Combo(w, "cboSheet")), chart_sheets);
  ASSERT_TRUE(state.workbook.XlApp);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(dialogs.answers.empty());

  workbook::CloseOwnWorkbook(state.workbook, true);
  EXPECT_FALSE(state.workbook.XlApp);
}

}  // namespace
}  // namespace kestrin::windowtest
