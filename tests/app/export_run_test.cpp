// The export run behind "実　　　　行": its refusals with their messages and
// the state each leaves, the four shapes of the engine call, the busy state
// and the quiet failure path.
#include <gmock/gmock.h>

#include "tests/app/window_fixture.h"
#include "tests/doubles/recording_ui.h"

namespace kestrin::app::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kDuplicate = "ピボットテーブルの項目名が重複してます。";

// A progress display that notes how the window looked while records were
// written, then forwards to the window's own controls.
class WatchingProgress : public ui::ProgressDisplay {
 public:
  void SetMaxCountCaption(const std::string& c) override {
    Label(*window, "lblMaxCount")->setText(QString::fromStdString(c));
  }
  void SetCountCaption(const std::string& c) override {
    if (looks.empty()) looks.push_back(LookAt(*window));
    counts.push_back(c);
  }
  void SetGaugeX2(float x2) override { gauge.push_back(x2); }
  FrmKestrin* window = nullptr;
  std::vector<WindowLook> looks;
  std::vector<std::string> counts;
  std::vector<float> gauge;
};

class ExportRunTest : public WindowTest {
 protected:
  void SetUp() override {
    ChooseFiles();
    Widget(*window, "framGrid")->setEnabled(true);
    Widget(*window, "framPivot")->setEnabled(true);
  }
  void Press() { Button(*window, "cmdExec")->click(); }
  bool Busy() {
    const WindowLook look = LookAt(*window);
    return !look.enabled || look.wait_cursor;
  }
};

TEST_F(ExportRunTest, WithoutFilesOnlyTheFirstMissingOneIsNamedAndTheBarIsNotTouched) {
  window->GuageVis(50);
  Label(*window, "lblAcFile")->clear();
  Label(*window, "lblXlFile")->clear();
  Press();
  Label(*window, "lblAcFile")->setText(QString::fromStdString(source_path.string()));
  Press();
  EXPECT_THAT(messages.Prompts(),
              ElementsAre("mdbファイルを選択して下さい。", "xlsファイルを選択して下さい。"));
  EXPECT_EQ(messages.shown[0].title, "Kestrin Ver 0.1");
  EXPECT_FLOAT_EQ(Gauge(*window)->X2(), 1050);
  EXPECT_EQ(state.settings.FileMoto, "");  // nothing captured
  EXPECT_THAT(excel->calls(), IsEmpty());
  EXPECT_EQ(state.ExecF, 0);
}

TEST_F(ExportRunTest, PivotWithoutHeadingIsRefusedAfterTheCaptureBeforeTheBusyState) {
  window->GuageVis(50);
  Opt(*window, "optMidasi")->Select(0);
  Edit(*window, "txtRow")->setText(QStringLiteral("4"));
  Press();
  ASSERT_THAT(messages.Prompts(), ElementsAre("「見出し」を有りに設定して下さい。"));
  EXPECT_TRUE(messages.shown[0].look.enabled);
  EXPECT_FALSE(messages.shown[0].look.wait_cursor);
  EXPECT_EQ(Gauge(*window)->X2(), 0);
  EXPECT_EQ(state.settings.StartRow, 4);
  EXPECT_THAT(excel->calls(), IsEmpty());
  EXPECT_EQ(state.ExecF, 0);
}

TEST_F(ExportRunTest, RepeatedFirstPivotFieldsAreRefusedBeforeTheBusyStateWithOrWithoutFormatting) {
  struct Case {
    const char *r1, *c1, *val;
  };
  for (std::int16_t grid : {1, 0}) {
    for (const Case& c : {Case{"支店", "支店", "金額"}, Case{"金額", "支店", "金額"},
                          Case{"支店", "金額", "金額"}}) {
      messages.shown.clear();
      Opt(*window, "optGrid")->Select(grid);
      SetPivot(c.r1, "なし", c.c1, "なし", c.val);
      Press();
      ASSERT_THAT(messages.Prompts(), ElementsAre(kDuplicate));
      EXPECT_TRUE(messages.shown[0].look.enabled);
      EXPECT_EQ(messages.shown[0].look.status, "");
      EXPECT_FALSE(Busy());
    }
  }
  EXPECT_THAT(excel->calls(), IsEmpty());
  EXPECT_EQ(state.ExecF, 0);
}

TEST_F(ExportRunTest, RepeatedSecondPivotFieldsAreRefusedWhileBusyAndLeaveTheStatus) {
  struct Case {
    const char *r2, *c2;
  };
  // Row field 1 "支店", column field 1 "商品", data "金額".
  for (const Case& c : {Case{"金額", "金額"}, Case{"商品", "なし"}, Case{"なし", "支店"}}) {
    messages.shown.clear();
    Edit(*window, "txtMessege")->clear();
    SetPivot("支店", c.r2, "商品", c.c2, "金額");
    Press();
    ASSERT_THAT(messages.Prompts(), ElementsAre(kDuplicate)) << c.r2 << " " << c.c2;
    EXPECT_FALSE(messages.shown[0].look.enabled);
    EXPECT_TRUE(messages.shown[0].look.wait_cursor);
    EXPECT_EQ(Edit(*window, "txtMessege")->text().toStdString(), "EXCELへ出力中");
    EXPECT_FALSE(Busy());
  }
  EXPECT_THAT(excel->calls(), IsEmpty());
  EXPECT_EQ(state.ExecF, 0);
}

TEST_F(ExportRunTest, SecondFieldsAreNotTestedAgainstTheirOwnFirstField) {
  SetPivot("支店", "支店", "商品", "なし", "金額");
  Press();
  EXPECT_THAT(messages.Prompts(), IsEmpty());
  EXPECT_EQ(state.ExecF, 1);
  ASSERT_EQ(Sheet().pivot_tables.size(), 0u);  // the pivot lands on a new sheet
  auto& pivot = excel->active_workbook()->ActiveSheet().pivot_tables;
  ASSERT_EQ(pivot.size(), 1u);
  EXPECT_EQ(pivot[0].row_fields,
            automation::PivotFieldNames(std::vector<std::string>{"支店", "支店"}));
}

TEST_F(ExportRunTest, ABoxThatIsNotANumberEndsTheRunWithoutAWord) {
  for (const char* bad : {"", "40000", "x"}) {
    window->GuageVis(50);
    Edit(*window, "txtMessege")->setText(QStringLiteral("before"));
    Edit(*window, "txtExpMax")->setText(QString::fromUtf8(bad));
    Press();
    EXPECT_THAT(messages.Prompts(), IsEmpty()) << bad;
    EXPECT_FALSE(Busy());
    EXPECT_EQ(Gauge(*window)->X2(), 0);
    EXPECT_EQ(Edit(*window, "txtMessege")->text(), "before");
  }
  Edit(*window, "txtExpMax")->setText(QStringLiteral("0"));
  Edit(*window, "txtCls")->setText(QStringLiteral("32768"));
  Press();
  EXPECT_THAT(excel->calls(), IsEmpty());
  EXPECT_EQ(state.ExecF, 0);
}

TEST_F(ExportRunTest, ACompletedRunIsBusyWhileWritingThenLeavesAFullBarAndNoStatus) {
  WatchingProgress progress;
  FrmKestrin watched(state, {access, excel_server, messages, &progress, ""});
  // The watched window shares the state; give it the same choices.
  watched.Form_Load();
  progress.window = &watched;
  messages.window = &watched;
  Label(watched, "lblAcFile")->setText(Label(*window, "lblAcFile")->text());
  Label(watched, "lblXlFile")->setText(Label(*window, "lblXlFile")->text());
  Combo(watched, "cboTables")->setEditText(QStringLiteral("T"));
  Combo(watched, "cboSheet")->setEditText(QStringLiteral("S"));
  for (std::int16_t pivot : {0, 1}) {
    progress.looks.clear();
    Opt(watched, "optPivot")->Select(pivot);
    Combo(watched, "cboPivotR1")->setEditText(QString::fromUtf8("支店"));
    Combo(watched, "cboPivotR2")->setEditText(QString::fromUtf8("なし"));
    Combo(watched, "cboPivotC1")->setEditText(QString::fromUtf8("商品"));
    Combo(watched, "cboPivotC2")->setEditText(QString::fromUtf8("なし"));
    Combo(watched, "cboPivotVal")->setEditText(QString::fromUtf8("金額"));
    watched.cmdExec_Click();
    EXPECT_THAT(messages.Prompts(), IsEmpty());
    ASSERT_EQ(progress.looks.size(), 1u);
    EXPECT_FALSE(progress.looks[0].enabled);
    EXPECT_TRUE(progress.looks[0].wait_cursor);
    EXPECT_EQ(progress.looks[0].status, pivot ? "EXCELへ出力中" : "");
    EXPECT_FLOAT_EQ(Gauge(watched)->X2(), 2100);
    EXPECT_TRUE(Edit(watched, "txtMessege")->text().isEmpty());
    EXPECT_TRUE(watched.isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(state.ExecF, 1);
    EXPECT_EQ(Label(watched, "lblMaxCount")->text(), "3");
  }
}

TEST_F(ExportRunTest, WithoutPivotOrFormattingTheEngineGetsZerosForBoth) {
  Opt(*window, "optGrid")->Select(0);
  Opt(*window, "optPivot")->Select(0);
  SetPivot("支店", "なし", "商品", "なし", "金額");
  Edit(*window, "txtRow")->setText(QStringLiteral("2"));
  Edit(*window, "txtCol")->setText(QStringLiteral("3"));
  Press();
  ASSERT_THAT(messages.Prompts(), IsEmpty());
  const auto& sheet = Sheet();
  EXPECT_EQ(sheet.Cell(2, 3)->text(), "支店");
  EXPECT_EQ(sheet.Cell(5, 5)->integer(), 102);
  EXPECT_TRUE(sheet.borders.empty());
  EXPECT_FALSE(sheet.autofilter.has_value());
  EXPECT_THAT(sheet.fitted_rows, IsEmpty());
  EXPECT_THAT(sheet.fitted_columns, IsEmpty());
  EXPECT_EQ(excel->active_workbook()->sheets.size(), 2u);  // no pivot sheet
  EXPECT_TRUE(excel->visible());                           // Display 0 shows the workbook
}

TEST_F(ExportRunTest, WithFormattingTheOptionSettingsReachTheEngine) {
  Opt(*window, "optPivot")->Select(0);
  Opt(*window, "optFilter")->Select(0);
  Check(*window, "chkFitC")->setChecked(false);
  Press();
  ASSERT_THAT(messages.Prompts(), IsEmpty());
  const auto& sheet = Sheet();
  EXPECT_FALSE(sheet.borders.empty());
  EXPECT_FALSE(sheet.autofilter.has_value());
  EXPECT_THAT(sheet.fitted_rows, ElementsAre("1:4"));
  EXPECT_THAT(sheet.fitted_columns, IsEmpty());
  EXPECT_EQ(excel->active_workbook()->sheets.size(), 2u);
}

TEST_F(ExportRunTest, WithPivotTheChosenFieldsReachTheEngineAndNashiMeansNone) {
  for (std::int16_t grid : {0, 1}) {
    ChooseFiles();
    Opt(*window, "optGrid")->Select(grid);
    Edit(*window, "txtPivotName")->setText(QStringLiteral("PT"));
    SetPivot("支店", "なし", "商品", "なし", "金額");
    Press();
    ASSERT_THAT(messages.Prompts(), IsEmpty());
    auto& book = *excel->active_workbook();
    ASSERT_EQ(book.sheets.size(), 3u);
    const auto& pivot = book.ActiveSheet().pivot_tables.at(0);
    EXPECT_EQ(pivot.name, "PT");
    EXPECT_EQ(pivot.row_fields, automation::PivotFieldNames(std::string("支店")));
    EXPECT_EQ(pivot.column_fields, automation::PivotFieldNames(std::string("商品")));
    EXPECT_THAT(pivot.data_fields, ElementsAre("金額"));
    EXPECT_EQ(Sheet().borders.empty(), grid == 0);
  }
}

TEST_F(ExportRunTest, BothSecondPivotFieldsGoToTheEngine) {
  database->AddTable("W", {"a", "b", "c", "d", "e"},
                     {{Value(1), Value(2), Value(3), Value(4), Value(5)}});
  Combo(*window, "cboTables")->setEditText(QStringLiteral("W"));
  SetPivot("a", "b", "c", "d", "e");
  Press();
  ASSERT_THAT(messages.Prompts(), IsEmpty());
  const auto& pivot = excel->active_workbook()->ActiveSheet().pivot_tables.at(0);
  EXPECT_EQ(pivot.row_fields, automation::PivotFieldNames(std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(pivot.column_fields, automation::PivotFieldNames(std::vector<std::string>{"c", "d"}));
  EXPECT_THAT(pivot.data_fields, ElementsAre("e"));
}

TEST_F(ExportRunTest, TheEnginesOwnReportsDoNotStopTheRunFromFinishing) {
  std::filesystem::remove(source_path);
  Opt(*window, "optPivot")->Select(0);
  Press();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].title, "Kestrin");
  EXPECT_FALSE(messages.shown[0].look.enabled);  // shown while still busy
  EXPECT_FALSE(Busy());
  EXPECT_EQ(state.ExecF, 1);
  EXPECT_FLOAT_EQ(Gauge(*window)->X2(), 2100);
}

TEST_F(ExportRunTest, DisplayOneSavesAndTheSecondRunShowsTheFirstRunsCountUntilItsOwnFirstRecord) {
  Opt(*window, "optPivot")->Select(0);
  Edit(*window, "txtExpMax")->setText(QStringLiteral("2"));
  Press();
  EXPECT_EQ(Label(*window, "lblMaxCount")->text(), "2");
  EXPECT_EQ(Label(*window, "lblCount")->text(), "2");
  Opt(*window, "optView")->Select(1);
  Edit(*window, "txtExpMax")->setText(QStringLiteral("500"));
  Press();
  ASSERT_THAT(messages.Prompts(), IsEmpty());
  EXPECT_EQ(Label(*window, "lblMaxCount")->text(), "3");
  EXPECT_EQ(Label(*window, "lblCount")->text(), "3");
  EXPECT_EQ(excel->quit(), true);
  EXPECT_EQ(state.workbook.XlApp, nullptr);
  EXPECT_EQ(state.settings.Display, 1);
}

}  // namespace
}  // namespace kestrin::app::testing
