// The database choice in the window, offscreen, with the Access reader
// behind it and the dialog answered by the test: what is closed, listed,
// enabled and shown after a choice, a cancel, a database without lists and
// a database whose lists cannot be read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/frm_kestrin.h"
#include "app/module_state.h"
#include "app/option_pair.h"
#include "automation/mdb/mdb_access.h"
#include "tests/doubles/fake_servers.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/controls.h"
#include "tests/support/jet4_writer.h"
#include "tests/support/mdb_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/support/window_support.h"

namespace kestrin::windowtest {
namespace {

namespace fs = std::filesystem;
using testsupport::QueryDefRow;
using testsupport::SavedQuery;
using T = testsupport::AccessType;
using namespace kestrin::testing;

QueryDefRow Row(int attribute, int flag, std::string name1 = "", std::string expression = "") {
  QueryDefRow r;
  r.attribute = attribute;
  r.flag = flag;
  r.name1 = std::move(name1);
  r.expression = std::move(expression);
  return r;
}

SavedQuery Query(std::string name, std::int32_t flags, int kind, std::vector<QueryDefRow> body) {
  std::vector<QueryDefRow> rows = {Row(0, 0)};
  if (kind) rows.push_back(Row(1, kind));
  rows.insert(rows.end(), body.begin(), body.end());
  rows.push_back(Row(255, 0));
  return SavedQuery{std::move(name), flags, std::move(rows)};
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

class SourceChoice : public ::testing::Test {
 protected:
  SourceChoice() : home_(fs::current_path()) {
    fs::current_path(dir_);
    window_ = std::make_unique<app::FrmKestrin>(
        state_, app::WindowServices{*access_, excel_, messages_, nullptr, "", &dialogs_});
    window_->Form_Load();
  }
  ~SourceChoice() override {
    window_.reset();
    fs::current_path(home_);
  }

  std::string Write(const std::string& name, const testsupport::Jet4Database& db) {
    const fs::path path = dir_ / name;
    testsupport::WriteJet4Database(db, path);
    return path.string();
  }

  void Choose(const std::string& path) {
    dialogs_.answers.push_back(path);
    Button(*window_, "cmdAcFile")->click();
    EXPECT_TRUE(dialogs_.answers.empty());
  }

  // The window as every choice leaves it: usable, the default pointer, no
  // status text.
  void ExpectRestored() {
    EXPECT_TRUE(window_->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(Edit(*window_, "txtMessege")->text().isEmpty());
  }

  void ExpectPivotLists(const QStringList& fields) {
    auto& w = *window_;
    for (QComboBox* box :
         {Combo(w, "cboPivotR1"), Combo(w, "cboPivotC1"), Combo(w, "cboPivotVal")}) {
      EXPECT_EQ(Entries(*box), fields);
      EXPECT_EQ(box->currentIndex(), fields.isEmpty() ? -1 : 0);
    }
    for (QComboBox* box : {Combo(w, "cboPivotR2"), Combo(w, "cboPivotC2")}) {
      EXPECT_EQ(Entries(*box), QStringList{"なし"} + fields);
      EXPECT_EQ(box->currentText(), "なし");
    }
  }

  bool FramesEnabled() {
    auto& w = *window_;
    bool all = true, none = true;
    for (QWidget* f :
         {static_cast<QWidget*>(Widget(w, "Frame2")), static_cast<QWidget*>(Widget(w, "Frame4")),
          static_cast<QWidget*>(Widget(w, "Frame9")), static_cast<QWidget*>(Widget(w, "framGrid")),
          static_cast<QWidget*>(Widget(w, "framPivot"))}) {
      all = all && f->isEnabled();
      none = none && !f->isEnabled();
    }
    EXPECT_TRUE(all || none);
    return all;
  }

  ::kestrin::testing::TempFolder folder_;
  fs::path home_, dir_{folder_.path()};
  std::unique_ptr<automation::AccessServer> access_ = automation::mdb::MakeMdbAccessServer();
  testing::FakeXlServer excel_;
  testing::RecordingMessageBox messages_;
  AnsweredDialogs dialogs_;
  app::ModuleState state_;
  std::unique_ptr<app::FrmKestrin> window_;
};

TEST_F(SourceChoice, SampleDatabasesListTheirTablesAndSelectQueriesAndUnlockTheWindow) {
  auto& w = *window_;
  // A cancelled first choice: Access is there, nothing else changed.
  Choose("");
  EXPECT_TRUE(Label(w, "lblAcFile")->text().isEmpty());
  EXPECT_FALSE(FramesEnabled());
  EXPECT_EQ(Combo(w, "cboTables")->count(), 0);
  EXPECT_TRUE(state_.source.AcApp);
  EXPECT_FALSE(state_.source.AcDb);
  EXPECT_EQ(state_.source.AcNewF, 1);
  EXPECT_TRUE(messages_.shown.empty());
  ExpectRestored();
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].title, "Accessファイルの選択");
  EXPECT_EQ(dialogs_.shown[0].filters.at(0).description, "Access(*.mdb;*.accdb)");
  EXPECT_EQ(dialogs_.shown[0].filters.at(0).pattern, "*.mdb;*.accdb");
  EXPECT_EQ(dialogs_.shown[0].initial_dir, dir_.string());

  const std::string accdb = mdbtest::SamplePath("queryTestV2007.accdb");
  const std::string before = Bytes(accdb);
  Combo(w, "cboSheet")->setEnabled(true);
  Choose(accdb);
  EXPECT_EQ(Label(w, "lblAcFile")->text().toStdString(), accdb);
  EXPECT_EQ(state_.source.MdbPath, accdb);
  EXPECT_TRUE(FramesEnabled());
  EXPECT_FALSE(Combo(w, "cboSheet")->isEnabled());
  // MSysCompactError and the other system tables are left out; of the nine
  // kinds of query only the select query is offered. Tables come sorted by
  // name, as DAO yields them.
  EXPECT_EQ(Entries(*Combo(w, "cboTables")), (QStringList{"Table1", "Table2", "Table3"}));
  EXPECT_EQ(Combo(w, "cboTables")->currentText(), "Table1");
  EXPECT_EQ(Entries(*Combo(w, "cboQuerys")), QStringList{"SelectQuery"});
  EXPECT_EQ(state_.source.ListCnt, 1);
  // The pivot lists hold the fields of the first select query, though the
  // table list is the one shown.
  EXPECT_TRUE(Combo(w, "cboTables")->isVisibleTo(&w));
  QStringList query_fields;
  const auto& fields = state_.source.AcDb->QueryDefs().Item("SelectQuery").Fields();
  for (int i = 0; i < fields.Count(); ++i) query_fields << QString::fromStdString(fields.Name(i));
  ASSERT_EQ(query_fields.size(), 6);
  ExpectPivotLists(query_fields);
  ExpectRestored();
  EXPECT_TRUE(messages_.shown.empty());
  EXPECT_EQ(Bytes(accdb), before);  // the StartupForm write never reaches the file
  // The next dialog opens in the folder of the chosen file.
  dialogs_.answers.push_back("");
  Button(w, "cmdAcFile")->click();
  EXPECT_EQ(dialogs_.shown.back().initial_dir, fs::path(accdb).parent_path().string());
}

TEST_F(SourceChoice, PickingATableOrQueryRefreshesThePivotListsAndAFailureIsReportedOnce) {
  testsupport::Jet4Database db;
  db.tables.push_back({"Orders",
                       {{"品番", T::kLong}, {"数量", T::kLong}, {"名前", T::kText}},
                       {{1, 5, "赤"}},
                       std::nullopt});
  db.tables.push_back({"MSysOwn", {{"A", T::kLong}}, {}, std::nullopt});
  db.tables.push_back({"msysLower", {{"B", T::kLong}}, {}, std::nullopt});
  db.queries = {
      Query("Removing", 32, 5, {Row(5, 0, "Orders"), Row(8, 0, "", "[数量]=0")}),
      Query("Hidden", 8, 0, {Row(5, 0, "Orders"), Row(6, 0, "", "[名前]")}),
      Query("Plain", 0, 0, {Row(5, 0, "Orders"), Row(6, 0, "", "[数量]"), Row(6, 0, "", "[品番]")}),
      Query("Lost", 0, 0, {Row(5, 0, "Nowhere"), Row(6, 0, "", "[X]")}),
  };
  auto& w = *window_;
  Choose(Write("orders.mdb", db));
  // Both lists sorted by name, as DAO yields them.
  EXPECT_EQ(Entries(*Combo(w, "cboTables")), (QStringList{"msysLower", "Orders"}));
  EXPECT_EQ(Entries(*Combo(w, "cboQuerys")), (QStringList{"Hidden", "Lost", "Plain"}));
  ExpectPivotLists({"名前"});  // the first listed query, a hidden one

  Opt(w, "optTable")->Select(0);
  Combo(w, "cboTables")->setCurrentIndex(0);
  emit Combo(w, "cboTables")->activated(0);
  ExpectPivotLists({"B"});
  ExpectRestored();

  Combo(w, "cboQuerys")->setCurrentIndex(2);
  emit Combo(w, "cboQuerys")->activated(2);
  ExpectPivotLists({"数量", "品番"});
  ExpectRestored();

  // A query over a table that is not there: one message naming it, and the
  // window back.
  Combo(w, "cboQuerys")->setCurrentIndex(1);
  emit Combo(w, "cboQuerys")->activated(1);
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_NE(messages_.shown[0].prompt.find("Lost"), std::string::npos);
  EXPECT_EQ(messages_.shown[0].title, "Kestrin Ver 0.1");
  ExpectRestored();
}

TEST_F(SourceChoice, ListsThatCannotBeReadAfterTheOpenGiveOneMessageNamingTheDatabase) {
  testsupport::Jet4Database db;
  db.tables.push_back({"Orders", {{"A", T::kLong}}, {}, std::nullopt});
  db.queries = {Query("Lost", 0, 0, {Row(5, 0, "Nowhere"), Row(6, 0, "", "[X]")})};
  const std::string path = Write("lost.mdb", db);
  Choose(path);
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_NE(messages_.shown[0].prompt.find(path), std::string::npos);
  ExpectRestored();
  EXPECT_EQ(Label(*window_, "lblAcFile")->text().toStdString(), path);
  EXPECT_EQ(Entries(*Combo(*window_, "cboTables")), QStringList{"Orders"});
}

// A table linked to a back-end that is gone cannot give its fields; the
// queries are listed all the same, and the window says so once.
TEST_F(SourceChoice, AFirstTableThatCannotBeReadStillLetsTheQueriesBeListed) {
  testsupport::Jet4Database db;
  db.linked_tables = {testsupport::AccessLink("Kunden", "Kunden", (dir_ / "gone.mdb").string())};
  db.queries = {Query("Plain", 0, 0, {Row(5, 0, "Kunden"), Row(6, 0, "", "[Name]")})};
  const std::string path = Write("front.mdb", db);
  Choose(path);
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_NE(messages_.shown[0].prompt.find(path), std::string::npos);
  ExpectRestored();
  EXPECT_EQ(Entries(*Combo(*window_, "cboTables")), QStringList{"Kunden"});
  EXPECT_EQ(Entries(*Combo(*window_, "cboQuerys")), QStringList{"Plain"});
}

TEST_F(SourceChoice, CancelAndDatabasesWithoutListsKeepWhatTheListsHeld) {
  auto& w = *window_;
  Choose(mdbtest::SamplePath("queryTestV2000.mdb"));
  const QStringList tables = Entries(*Combo(w, "cboTables"));
  const QStringList pivot = Entries(*Combo(w, "cboPivotR1"));
  ASSERT_FALSE(pivot.isEmpty());

  // Only system tables and a crosstab query: both lists empty, the pivot
  // lists as they were.
  testsupport::Jet4Database db;
  db.tables.push_back({"MSysOnly", {{"A", T::kLong}}, {}, std::nullopt});
  db.queries = {Query("Cross", 16, 6,
                      {Row(5, 0, "MSysOnly"), Row(6, 2, "", "[A]"), Row(6, 1, "", "[A]"),
                       Row(6, 0, "N", "Count([A])")})};
  Choose(Write("system-only.mdb", db));
  EXPECT_EQ(Combo(w, "cboTables")->count(), 0);
  EXPECT_EQ(Combo(w, "cboTables")->currentIndex(), -1);
  EXPECT_EQ(Combo(w, "cboQuerys")->count(), 0);
  EXPECT_EQ(state_.source.ListCnt, 0);
  EXPECT_EQ(Entries(*Combo(w, "cboPivotR1")), pivot);
  EXPECT_TRUE(FramesEnabled());
  ExpectRestored();

  // A cancelled later choice: the program's own Access closed and let go
  // the database before the dialog; the caption is empty, the lists stay.
  Choose(mdbtest::SamplePath("queryTestV2000.mdb"));
  std::weak_ptr<automation::AccessApplication> held = state_.source.AcApp;
  Choose("");
  EXPECT_TRUE(Label(w, "lblAcFile")->text().isEmpty());
  EXPECT_FALSE(state_.source.AcDb);
  EXPECT_TRUE(held.expired());       // closed and let go
  EXPECT_TRUE(state_.source.AcApp);  // a new instance, started before the dialog
  EXPECT_EQ(Entries(*Combo(w, "cboTables")), tables);
  EXPECT_TRUE(FramesEnabled());
  EXPECT_TRUE(messages_.shown.empty());
  ExpectRestored();

  // A file that is no database: quiet, the caption shows what was chosen.
  const std::string junk = (dir_ / "junk.mdb").string();
  std::ofstream(junk) << "not a database";
  Choose(junk);
  EXPECT_EQ(Label(w, "lblAcFile")->text().toStdString(), junk);
  EXPECT_FALSE(state_.source.AcDb);
  EXPECT_TRUE(messages_.shown.empty());
  ExpectRestored();
}

}  // namespace
}  // namespace kestrin::windowtest

namespace kestrin::windowtest {
namespace {

// The workbook choice against an application the test controls: what an
// attached instance keeps and what a failing close leaves.
class WorkbookChoiceWithDouble : public ::testing::Test {
 protected:
  WorkbookChoiceWithDouble() {
    window_ = std::make_unique<app::FrmKestrin>(
        state_, app::WindowServices{access_, excel_, messages_, nullptr, "", &dialogs_});
    window_->Form_Load();
  }
  testing::FakeAccessServer access_;
  testing::FakeXlServer excel_;
  testing::RecordingMessageBox messages_;
  AnsweredDialogs dialogs_;
  app::ModuleState state_;
  std::unique_ptr<app::FrmKestrin> window_;
};

TEST_F(WorkbookChoiceWithDouble, AnAttachedInstanceKeepsEveryWorkbookOpen) {
  auto running = std::make_shared<testing::FakeExcel>();
  running->AddFile("/books/a.xls", {"一", "二"});
  running->AddFile("/books/b.xls", {"Sheet1"});
  excel_.running = running;
  auto& w = *window_;
  dialogs_.answers = {"/books/a.xls", "/books/b.xls"};
  w.cmdXlFile_Click();
  EXPECT_EQ(Entries(*Combo(w, "cboSheet")), (QStringList{"一", "二"}));
  w.cmdXlFile_Click();
  EXPECT_EQ(Entries(*Combo(w, "cboSheet")), QStringList{"Sheet1"});
  EXPECT_EQ(state_.workbook.XlNewF, 0);
  EXPECT_EQ(excel_.created, 0);
  EXPECT_FALSE(running->quit());
  EXPECT_TRUE(
      Combo(w, "cboSheet")->isEnabledTo(Widget(w, "Frame4")));  // the frame waits for a database
}

TEST_F(WorkbookChoiceWithDouble, AWorkbookTheUserClosedIsSkippedAndTheNextChoiceWorks) {
  auto own = std::make_shared<testing::FakeExcel>();
  own->AddFile("/books/a.xls", {"Sheet1", "グラフ1", "Sheet2"});
  excel_.make = [own] { return own; };
  auto& w = *window_;
  dialogs_.answers = {"/books/a.xls"};
  w.cmdXlFile_Click();
  ASSERT_EQ(state_.workbook.XlNewF, 1);
  EXPECT_EQ(Entries(*Combo(w, "cboSheet")), (QStringList{"Sheet1", "グラフ1", "Sheet2"}));
  EXPECT_EQ(Combo(w, "cboSheet")->currentIndex(), 0);

  // The user closed the workbook in the program's own instance: closing it
  // is skipped, the instance quit, and the dialog of the new choice shown.
  own->ActiveWorkbook()->Close(false);
  auto next = std::make_shared<testing::FakeExcel>();
  next->AddFile("/books/b.xls", {"集計"});
  excel_.make = [next] { return next; };
  dialogs_.answers = {"/books/b.xls"};
  w.cmdXlFile_Click();
  EXPECT_EQ(dialogs_.shown.size(), 2u);
  EXPECT_TRUE(own->quit());
  EXPECT_EQ(state_.workbook.XlApp, next);
  EXPECT_EQ(Entries(*Combo(w, "cboSheet")), (QStringList{"集計"}));

  // A file the application cannot open: quiet, the caption shows the path,
  // the sheet list stays.
  dialogs_.answers = {"/books/missing.xls"};
  excel_.make = [] { return std::make_shared<testing::FakeExcel>(); };
  w.cmdXlFile_Click();
  EXPECT_TRUE(next->quit());
  EXPECT_EQ(Label(w, "lblXlFile")->text(), "/books/missing.xls");
  EXPECT_EQ(Entries(*Combo(w, "cboSheet")), (QStringList{"集計"}));
  EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(WorkbookChoiceWithDouble, AFaultOfTheProgramIsReportedAsAnInternalFaultNotSwallowed) {
  excel_.make = []() -> std::shared_ptr<testing::FakeExcel> {
    throw std::logic_error("no instance for this test");
  };
  window_->cmdXlFile_Click();
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_EQ(messages_.shown[0].prompt,
            "エラーNO:51\r\ncmdXlFile_Click で内部エラーが発生しました: std::logic_error: "
            "no instance for this test");
  EXPECT_EQ(messages_.shown[0].title, "Kestrin Ver 0.1");
  EXPECT_TRUE(dialogs_.shown.empty());  // the click ended where the fault happened
  EXPECT_TRUE(window_->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // Not even a std::exception: reported all the same, the program goes on.
  excel_.make = []() -> std::shared_ptr<testing::FakeExcel> { throw 42; };
  window_->cmdXlFile_Click();
  ASSERT_EQ(messages_.shown.size(), 2u);
  EXPECT_NE(messages_.shown[1].prompt.find("種類の分からない例外"), std::string::npos);
}

}  // namespace
}  // namespace kestrin::windowtest
