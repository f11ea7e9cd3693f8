// The real window on an X display of its own (Xvfb) with the real engines
// behind it: the bundled sample database and a copy of the bundled workbook
// opened into the program's state, the settings put into the controls,
// "実　　　　行" clicked, and the saved workbook read back cell by cell
// against the source table.
#include <QApplication>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "app/frm_kestrin.h"
#include "automation/mdb/mdb_access.h"
#include "automation/uno/office_process.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/controls.h"
#include "tests/support/office_harness.h"

namespace kestrin::automation::uno::testing {
namespace {

using ::testing::IsEmpty;
using namespace kestrin::testing;

std::unique_ptr<TempFolder> xvfb_dir;
std::unique_ptr<OfficeProcess> xvfb;

// Starts an X server of the test's own; false when there is none.
bool StartXvfb() {
  if (!fs::exists("/usr/bin/Xvfb")) return false;
  xvfb_dir = std::make_unique<TempFolder>();
  std::string display;
  xvfb = StartTestXServer(xvfb_dir->path() / "xvfb.log", display);
  if (display.empty() || !xvfb->Alive()) return false;
  setenv("DISPLAY", display.c_str(), 1);
  return true;
}

void ExpectCell(const SavedBook& saved, const std::string& a1, const Value& v) {
  const SavedBook::CellInfo cell = saved.At("売上", a1);
  switch (v.kind()) {
    case Value::Kind::kNull:
      EXPECT_EQ(cell.kind, SavedBook::Kind::kEmpty) << a1;
      break;
    case Value::Kind::kText:
      if (v.text().empty()) {
        EXPECT_EQ(cell.kind, SavedBook::Kind::kEmpty) << a1;
      } else {
        EXPECT_EQ(cell.text, v.text()) << a1;
      }
      break;
    case Value::Kind::kInteger:
      EXPECT_EQ(cell.number, static_cast<double>(v.integer())) << a1;
      break;
    case Value::Kind::kCurrency:
      EXPECT_EQ(cell.number, static_cast<double>(v.currency().ten_thousandths) / 10000) << a1;
      break;
    case Value::Kind::kDateTime:
      EXPECT_EQ(cell.number, v.datetime().serial) << a1;
      break;
    default:
      ADD_FAILURE() << a1 << ": a kind the sample does not hold";
  }
}

TEST(WindowSampleTest, TheWindowExportsTheSampleTableIntoTheWorkbookThroughTheRealEngines) {
  if (!xvfb) GTEST_SKIP() << "Xvfb is not available";
  const std::string database = KESTRIN_SAMPLE_DIR "/sample.mdb";
  TempFolder dir;
  const fs::path book = dir.path() / "sample.xls";
  fs::copy_file(KESTRIN_SAMPLE_DIR "/sample.xls", book);

  auto access_server = mdb::MakeMdbAccessServer();
  auto xl_server = MakeUnoXlServer(OwnOfficeOptions(dir.path(), "app_sample"));
  kestrin::testing::RecordingMessageBox messages;
  app::ModuleState state;
  app::FrmKestrin window(state, {*access_server, *xl_server, messages, nullptr, ""});
  window.Form_Load();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  // What choosing the two files does, through the engines.
  state.source.AcApp = access_server->CreateObject();
  state.source.AcNewF = 1;
  state.source.AcApp->OpenCurrentDatabase(database, false);
  state.source.AcDb = state.source.AcApp->CurrentDatabase();
  state.workbook.XlApp = xl_server->CreateObject();
  state.workbook.XlNewF = 1;
  state.workbook.XlApp->WorkbooksOpen(book.string());
  Label(window, "lblAcFile")->setText(QString::fromStdString(database));
  Label(window, "lblXlFile")->setText(QString::fromStdString(book.string()));
  for (QWidget* frame : std::initializer_list<QWidget*>{
           Widget(window, "Frame2"), Widget(window, "Frame4"), Widget(window, "Frame9"),
           Widget(window, "framGrid"), Widget(window, "framPivot")}) {
    frame->setEnabled(true);
  }

  // The settings, as a user puts them in.
  Combo(window, "cboTables")->setEditText(QString::fromUtf8("売上明細"));
  Combo(window, "cboSheet")->setEditText(QString::fromUtf8("売上"));
  Edit(window, "txtRow")->setText(QStringLiteral("3"));
  QTest::mouseClick(Opt(window, "optView")->Button(1), Qt::LeftButton);  // save and quit
  Edit(window, "txtPivotName")->setText(QString::fromUtf8("支店別集計"));
  Combo(window, "cboPivotR1")->setEditText(QString::fromUtf8("支店"));
  Combo(window, "cboPivotR2")->setEditText(QString::fromUtf8("なし"));
  Combo(window, "cboPivotC1")->setEditText(QString::fromUtf8("商品"));
  Combo(window, "cboPivotC2")->setEditText(QString::fromUtf8("なし"));
  Combo(window, "cboPivotVal")->setEditText(QString::fromUtf8("金額"));
  ASSERT_EQ(state.settings.Display, 1);

  QPushButton* run = nullptr;
  for (QPushButton* b : window.findChildren<QPushButton*>()) {
    if (b->text() == QString::fromUtf8("実　　　　行")) run = b;
  }
  ASSERT_NE(run, nullptr);
  QTest::mouseClick(run, Qt::LeftButton);

  ASSERT_THAT(messages.shown, IsEmpty()) << messages.shown.front().prompt;
  EXPECT_EQ(state.ExecF, 1);
  EXPECT_EQ(state.workbook.XlApp, nullptr);  // saved and quit
  EXPECT_TRUE(window.isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_FLOAT_EQ(Gauge(window)->X2(), 2100);

  // The source table, record by record, against the saved sheet.
  std::vector<std::string> names;
  std::vector<std::vector<Value>> records;
  {
    auto rs = state.source.AcDb->OpenRecordset("売上明細");
    for (int i = 0; i < rs->Fields().Count(); ++i) names.push_back(rs->Fields().Name(i));
    for (; !rs->Eof(); rs->MoveNext()) {
      records.emplace_back();
      for (int i = 0; i < rs->Fields().Count(); ++i) records.back().push_back(rs->FieldValue(i));
    }
    rs->Close();
  }
  ASSERT_EQ(records.size(), 240u);
  EXPECT_EQ(Label(window, "lblMaxCount")->text(), "240");
  EXPECT_EQ(Label(window, "lblCount")->text(), "240");

  SavedBook saved(book);
  // The pivot table goes on a new sheet before the source sheet.
  const std::vector<std::string> sheets = saved.SheetNames();
  ASSERT_EQ(sheets.size(), 3u);
  EXPECT_EQ(sheets[0], "メモ");
  EXPECT_EQ(sheets[2], "売上");
  const auto pivots = saved.Pivots(sheets[1]);
  ASSERT_EQ(pivots.count("支店別集計"), 1u);
  EXPECT_THAT(pivots.at("支店別集計").rows, ::testing::ElementsAre("支店"));
  EXPECT_THAT(pivots.at("支店別集計").columns, ::testing::ElementsAre("商品"));
  EXPECT_EQ(pivots.at("支店別集計").source_sheet, "売上");
  EXPECT_EQ(saved.At("売上", "A1").text, "売上明細（2026年）");
  auto a1 = [](int col, std::size_t row) {
    return std::string(1, static_cast<char>('A' + col)) + std::to_string(row);
  };
  for (std::size_t c = 0; c < names.size(); ++c) {
    EXPECT_EQ(saved.At("売上", a1(static_cast<int>(c), 3)).text, names[c]);
  }
  for (std::size_t r = 0; r < records.size(); ++r) {
    for (std::size_t c = 0; c < names.size(); ++c) {
      ExpectCell(saved, a1(static_cast<int>(c), 4 + r), records[r][c]);
    }
  }
  EXPECT_EQ(saved.At("売上", a1(0, 4 + records.size())).kind, SavedBook::Kind::kEmpty);
  const int last_row = static_cast<int>(2 + records.size());
  EXPECT_EQ(saved.AutoFilter("売上"), (Block{2, 0, last_row, static_cast<int>(names.size()) - 1}));

  window.m1z_Click();
  EXPECT_EQ(state.source.AcDb, nullptr);
}

// An export with "表　　示" on "する" gives the user the office: closing the
// window leaves it running with the exported workbook and any other document
// the user opened there.
TEST(WindowSampleTest, ClosingTheWindowAfterAShownExportLeavesTheOfficeAndItsDocuments) {
  if (!xvfb) GTEST_SKIP() << "Xvfb is not available";
  TempFolder dir;
  const fs::path book = dir.path() / "shown.xls";
  const fs::path other = dir.path() / "other.xls";
  fs::copy_file(KESTRIN_SAMPLE_DIR "/sample.xls", book);
  fs::copy_file(KESTRIN_SAMPLE_DIR "/sample.xls", other);
  UnoOptions options = OwnOfficeOptions(dir.path(), "app_shown");
  options.force_headless = false;  // on the test's own display
  const std::vector<std::string> office = {"--accept=pipe,name=" + options.pipe_name +
                                           ";urp;StarOffice.ComponentContext"};
  auto lock_of = [](const fs::path& p) {
    return p.parent_path() / (".~lock." + p.filename().string() + "#");
  };
  {
    auto access_server = mdb::MakeMdbAccessServer();
    auto xl_server = MakeUnoXlServer(options);
    kestrin::testing::RecordingMessageBox messages;
    app::ModuleState state;
    app::FrmKestrin window(state, {*access_server, *xl_server, messages, nullptr, ""});
    window.Form_Load();
    state.source.AcApp = access_server->CreateObject();
    state.source.AcApp->OpenCurrentDatabase(KESTRIN_SAMPLE_DIR "/sample.mdb", false);
    state.source.AcDb = state.source.AcApp->CurrentDatabase();
    state.workbook.XlApp = xl_server->CreateObject();
    state.workbook.XlNewF = 1;
    state.workbook.XlApp->WorkbooksOpen(book.string());
    Label(window, "lblAcFile")->setText(QString::fromUtf8(KESTRIN_SAMPLE_DIR "/sample.mdb"));
    Label(window, "lblXlFile")->setText(QString::fromStdString(book.string()));
    Combo(window, "cboTables")->setEditText(QString::fromUtf8("売上明細"));
    Combo(window, "cboSheet")->setEditText(QString::fromUtf8("売上"));
    Opt(window, "optPivot")->Select(0);
    ASSERT_EQ(state.settings.Display, 0);
    window.cmdExec_Click();
    ASSERT_THAT(messages.shown, IsEmpty()) << messages.shown.front().prompt;

    // The user opens another document in the office shown to them.
    auto user = MakeUnoXlServer(options)->GetObject();
    user->WorkbooksOpen(other.string());
    user->SetVisible(true);

    window.m1z_Click();
    ASSERT_TRUE(fs::exists(lock_of(book)));
  }
  EXPECT_FALSE(ProcessesWithArgs(office).empty());
  EXPECT_TRUE(fs::exists(lock_of(book)));  // still open, unsaved
  EXPECT_TRUE(fs::exists(lock_of(other)));
  KillAndWait(ProcessesWithArgs(office), std::chrono::seconds(10));
}

}  // namespace
}  // namespace kestrin::automation::uno::testing

int main(int argc, char** argv) {
  const bool have_display = kestrin::automation::uno::testing::StartXvfb();
  if (have_display)
    qputenv("QT_QPA_PLATFORM", "xcb");
  else
    qputenv("QT_QPA_PLATFORM", "offscreen");
  int result = 0;
  {
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  using kestrin::automation::uno::testing::xvfb;
  if (xvfb) xvfb->Kill();
  xvfb.reset();
  kestrin::automation::uno::testing::xvfb_dir.reset();
  return result;
}
