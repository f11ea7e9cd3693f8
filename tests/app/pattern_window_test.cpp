// The window's pattern files, offscreen over the engine doubles: saving what
// the controls hold, loading it back into a fresh window, and loads that
// stop part-way.
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <filesystem>
#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/frm_kestrin.h"
#include "app/module_state.h"
#include "app/option_pair.h"
#include "app/qt_text.h"
#include "pattern/cp932.h"
#include "pattern/pattern_file.h"
#include "tests/doubles/fake_servers.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/controls.h"
#include "tests/support/temp_folder.h"

namespace kestrin::app {
namespace {

using kestrin::testing::ShownMessage;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace kestrin::testing;

class AnsweringDialogs : public ui::FileDialogs {
 public:
  std::string OpenFile(const std::vector<ui::FileFilter>& filters, const std::string&,
                       const std::string& title) override {
    titles.push_back(title);
    this->filters = filters;
    return answer;
  }
  std::string SaveFile(const std::vector<ui::FileFilter>& filters, const std::string&,
                       const std::string& title) override {
    titles.push_back(title);
    this->filters = filters;
    return answer;
  }
  std::string answer;
  std::vector<std::string> titles;
  std::vector<ui::FileFilter> filters;
};

// A window over the doubles, with a database and a workbook file on disk
// that the doubles can open.
class PatternWindowTest : public ::testing::Test {
 protected:
  PatternWindowTest() {
    cwd_ = std::filesystem::current_path();
    database_ = dir_ / "販売.mdb";
    workbook_ = dir_ / "集計.xls";
    kestrin::testing::WriteBytes(database_, "");
    kestrin::testing::WriteBytes(workbook_, "");
  }
  ~PatternWindowTest() override { std::filesystem::current_path(cwd_); }

  struct Window {
    ModuleState state;
    kestrin::testing::FakeAccessServer access;
    kestrin::testing::FakeXlServer excel;
    kestrin::testing::RecordingMessageBox messages;
    kestrin::testing::RecordingProgress progress;
    AnsweringDialogs dialogs;
    std::unique_ptr<FrmKestrin> form;
  };

  std::unique_ptr<Window> NewWindow() {
    auto w = std::make_unique<Window>();
    auto db = std::make_shared<kestrin::testing::FakeDatabase>();
    db->AddTable("売上", {"支店", "商品", "金額"});
    const std::string database = database_, workbook = workbook_;
    w->access.make = [db, database] {
      auto app = std::make_shared<kestrin::testing::FakeAccessApplication>();
      app->AddFile(database, db);
      return app;
    };
    w->excel.make = [workbook] {
      auto excel = std::make_shared<kestrin::testing::FakeExcel>();
      excel->AddFile(workbook, {"売上", "メモ"});
      return excel;
    };
    w->form = std::make_unique<FrmKestrin>(
        w->state, WindowServices{w->access, w->excel, w->messages, &w->progress, "", &w->dialogs});
    w->form->Form_Load();
    return w;
  }

  // Fills the controls as a user would after choosing both files.
  void FillControls(Window& w) {
    FrmKestrin& f = *w.form;
    Label(f, "lblAcFile")->setText(Text(database_));
    Label(f, "lblXlFile")->setText(Text(workbook_));
    Opt(f, "optTable")->Select(1);
    Combo(f, "cboQuerys")->setEditText(Text("月別ｸｴﾘ"));
    Combo(f, "cboSheet")->setEditText(Text("売上"));
    Edit(f, "txtRow")->setText("12");
    Edit(f, "txtCol")->setText("3");
    Combo(f, "cboKaiGyo")->setEditText("2");
    Edit(f, "txtExpMax")->setText("500");
    Edit(f, "txtCls")->setText("-1");
    Opt(f, "optMidasi")->Select(1);
    Opt(f, "optView")->Select(1);
    Opt(f, "optGrid")->Select(1);
    Opt(f, "optLine")->Select(0);
    Opt(f, "optFilter")->Select(1);
    Check(f, "chkFitR")->setChecked(false);
    Check(f, "chkFitC")->setChecked(true);
    Opt(f, "optPivot")->Select(1);
    Edit(f, "txtPivotName")->setText(Text("集計表"));
    Combo(f, "cboPivotR1")->setEditText(Text("支店"));
    Combo(f, "cboPivotR2")->setEditText(Text("なし"));
    Combo(f, "cboPivotC1")->setEditText(Text("商品"));
    Combo(f, "cboPivotC2")->setEditText(Text("なし"));
    Combo(f, "cboPivotVal")->setEditText(Text("金額"));
  }

  std::string Save(Window& w, const std::string& name) {
    w.dialogs.answer = name;
    w.form->m1b_Click();
    return name;
  }

  kestrin::testing::TempFolder dir_;
  std::filesystem::path cwd_;
  std::string database_, workbook_;
};

TEST_F(PatternWindowTest, WhatTheWindowSavesLoadsBackIntoAFreshWindow) {
  auto saving = NewWindow();
  FillControls(*saving);
  Save(*saving, dir_ / "nightly.KST");
  EXPECT_THAT(saving->messages.shown,
              ElementsAre(ShownMessage{"解析パターン登録が完了しました。", ui::kTitle}));
  EXPECT_THAT(saving->dialogs.titles, ElementsAre("解析用パターンの保存"));
  ASSERT_EQ(saving->dialogs.filters.size(), 1u);
  EXPECT_EQ(saving->dialogs.filters[0].description, "解析ﾊﾟﾀｰﾝ(*.kst)");
  EXPECT_EQ(saving->dialogs.filters[0].pattern, "*.kst");
  const std::string file = dir_ / "nightly.kst";
  ASSERT_TRUE(std::filesystem::exists(file));

  auto loading = NewWindow();
  loading->dialogs.answer = file;
  loading->form->m1a_Click();
  EXPECT_THAT(loading->dialogs.titles, ElementsAre("解析用パターンの選択"));
  EXPECT_THAT(loading->messages.shown,
              ElementsAre(ShownMessage{"解析パターンを読み込みました。", ui::kTitle}));
  EXPECT_EQ(loading->state.settings, saving->state.settings);

  FrmKestrin& f = *loading->form;
  EXPECT_EQ(StdText(Label(f, "lblAcFile")->text()), database_);
  EXPECT_EQ(StdText(Label(f, "lblXlFile")->text()), workbook_);
  EXPECT_EQ(loading->state.source.MdbPath, database_);
  EXPECT_TRUE(loading->state.source.AcDb);
  ASSERT_TRUE(loading->state.workbook.XlApp);
  EXPECT_EQ(Opt(f, "optTable")->Value(), 1);
  EXPECT_TRUE(Combo(f, "cboQuerys")->isVisibleTo(&f));
  EXPECT_EQ(StdText(Combo(f, "cboQuerys")->currentText()), "月別ｸｴﾘ");
  EXPECT_EQ(StdText(Combo(f, "cboSheet")->currentText()), "売上");
  EXPECT_TRUE(Combo(f, "cboSheet")->isEnabled());
  EXPECT_EQ(StdText(Edit(f, "txtRow")->text()), "12");
  EXPECT_EQ(StdText(Edit(f, "txtCol")->text()), "3");
  EXPECT_EQ(StdText(Combo(f, "cboKaiGyo")->currentText()), "2");
  EXPECT_EQ(StdText(Edit(f, "txtExpMax")->text()), "500");
  EXPECT_EQ(StdText(Edit(f, "txtCls")->text()), "-1");
  EXPECT_EQ(Opt(f, "optView")->Value(), 1);
  EXPECT_EQ(Opt(f, "optLine")->Value(), 0);
  EXPECT_FALSE(Check(f, "chkFitR")->isChecked());
  EXPECT_TRUE(Check(f, "chkFitC")->isChecked());
  EXPECT_EQ(StdText(Edit(f, "txtPivotName")->text()), "集計表");
  EXPECT_EQ(StdText(Combo(f, "cboPivotVal")->currentText()), "金額");
  for (QWidget* frame : {Widget(f, "Frame2"), Widget(f, "Frame4"), Widget(f, "Frame9"),
                         Widget(f, "framGrid"), Widget(f, "framPivot")}) {
    EXPECT_TRUE(frame->isEnabled());
  }

  // The user closed the workbook in the office loading started: loading
  // again skips closing it, and the pattern's workbook opens anew.
  const auto office = loading->state.workbook.XlApp;
  ASSERT_EQ(loading->state.workbook.XlNewF, 1);
  office->ActiveWorkbook()->Close(false);
  loading->messages.shown.clear();
  loading->form->m1a_Click();
  EXPECT_THAT(loading->messages.shown,
              ElementsAre(ShownMessage{"解析パターンを読み込みました。", ui::kTitle}));
  ASSERT_TRUE(loading->state.workbook.XlApp);
  EXPECT_NE(loading->state.workbook.XlApp, office);
  EXPECT_NO_THROW(loading->state.workbook.XlApp->ActiveWorkbook()->Sheets());
}

TEST_F(PatternWindowTest, SavingWithoutANameOrWithABadBoxWritesNothing) {
  auto w = NewWindow();
  FillControls(*w);
  Save(*w, "");  // cancelled
  EXPECT_THAT(w->messages.shown,
              ElementsAre(ShownMessage{"ファイル名を入力して下さい。", ui::kTitle}));
  w->messages.shown.clear();
  Edit(*w->form, "txtRow")->setText("");
  Save(*w, dir_ / "a.kst");
  EXPECT_THAT(w->messages.shown, IsEmpty());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "a.kst"));
}

TEST_F(PatternWindowTest, TextOutsideCp932IsRefusedWithAMessage) {
  auto w = NewWindow();
  FillControls(*w);
  kestrin::testing::WriteBytes(dir_ / "a.kst", "old");
  Combo(*w->form, "cboSheet")->setEditText(Text("売上🍵"));
  Save(*w, dir_ / "a.kst");
  ASSERT_EQ(w->messages.shown.size(), 1u);
  EXPECT_THAT(w->messages.shown[0].prompt,
              ::testing::StartsWith("解析パターンを保存できませんでした。\r\n"));
  EXPECT_THAT(w->messages.shown[0].prompt, ::testing::HasSubstr("ShtName"));
  EXPECT_EQ(kestrin::testing::ReadBytes(dir_ / "a.kst"), "old");
}

TEST_F(PatternWindowTest, MissingFilesAreReportedAndLoadingGoesOn) {
  auto w = NewWindow();
  const std::string pattern = dir_ / "p.kst";
  kestrin::testing::WriteBytes(
      pattern, pattern::Utf8ToCp932("FileMoto=/nowhere/a.mdb\r\nFileSaki=C:\\data\\b.xls\r\n"
                                    "ShtName=売上\r\nStartRow=7\r\n")
                   .value());
  w->form->PatReadOn(pattern);
  EXPECT_THAT(
      w->messages.shown,
      ElementsAre(ShownMessage{"ファイル /nowhere/a.mdb は見つかりません。", ui::kShortTitle},
                  // A Windows path no mapping covers: the message says so on a line of its own.
                  ::testing::AllOf(
                      ::testing::Field(&ShownMessage::prompt,
                                       ::testing::StartsWith(
                                           "ファイル C:\\data\\b.xls は見つかりません。\r\nC: を")),
                      ::testing::Field(&ShownMessage::title, ui::kShortTitle)),
                  ShownMessage{"解析パターンを読み込みました。", ui::kTitle}));
  EXPECT_EQ(StdText(Label(*w->form, "lblAcFile")->text()), "/nowhere/a.mdb");
  EXPECT_EQ(StdText(Edit(*w->form, "txtRow")->text()), "7");
  EXPECT_EQ(w->access.created, 0);
  EXPECT_EQ(w->excel.created, 0);
}

TEST_F(PatternWindowTest, AFileThatIsNoPatternIsToldOnceAndChangesNothing) {
  auto w = NewWindow();
  const exporting::ExportSettings before = w->state.settings;
  const std::string utf8 = dir_ / "utf8.kst", empty = dir_ / "empty.kst";
  kestrin::testing::WriteBytes(utf8, "FileMoto=" + database_ + "\r\nShtName=売上\r\n");
  kestrin::testing::WriteBytes(empty, "");
  for (const std::string& file : {utf8, empty}) {
    w->messages.shown.clear();
    w->dialogs.answer = file;
    w->form->m1a_Click();
    ASSERT_EQ(w->messages.shown.size(), 1u) << file;
    EXPECT_THAT(w->messages.shown[0].prompt,
                ::testing::StartsWith("解析パターンを読み込めませんでした。\r\n" + file));
    EXPECT_EQ(w->state.settings, before);
    EXPECT_TRUE(Label(*w->form, "lblAcFile")->text().isEmpty());
    EXPECT_FALSE(Widget(*w->form, "Frame9")->isEnabled());
  }
  EXPECT_THAT(w->messages.shown[0].prompt, ::testing::Not(::testing::HasSubstr("iconv")));
  EXPECT_EQ(w->access.created, 0);
}

TEST_F(PatternWindowTest, AnOptionValueThatNamesNoButtonStopsTheLoadThere) {
  auto w = NewWindow();
  const std::string pattern = dir_ / "p.kst";
  kestrin::testing::WriteBytes(
      pattern, pattern::Utf8ToCp932("FileMoto=" + database_ + "\r\nFileSaki=" + workbook_ +
                                    "\r\nStartRow=9\r\nMidasi=2\r\nGridF=0\r\n")
                   .value());
  try {
    w->form->PatReadOn(pattern);
    ADD_FAILURE();
  } catch (const pattern::PatternError& e) {
    EXPECT_EQ(e.number(), 340);
    EXPECT_THAT(e.description(), ::testing::HasSubstr("Midasi=2"));
  }
  // The database and workbook are open and the numbers set; the options
  // from Midasi on are not.
  EXPECT_TRUE(w->state.source.AcDb);
  EXPECT_TRUE(w->state.workbook.XlApp);
  EXPECT_EQ(StdText(Edit(*w->form, "txtRow")->text()), "9");
  EXPECT_EQ(Opt(*w->form, "optMidasi")->Value(), 1);
  EXPECT_EQ(Opt(*w->form, "optGrid")->Value(), 1);
  EXPECT_THAT(w->messages.shown, IsEmpty());
}

TEST_F(PatternWindowTest, FormattingAndPivotOffLeaveTheirControlsAsTheyWere) {
  auto w = NewWindow();
  const std::string pattern = dir_ / "p.kst";
  kestrin::testing::WriteBytes(
      pattern, pattern::Utf8ToCp932("FileMoto=" + database_ + "\r\nFileSaki=" + workbook_ +
                                    "\r\nGridF=0\r\nLine=0\r\nFitRow=0\r\nPivotF=0\r\n"
                                    "PvtName=別名\r\n")
                   .value());
  w->form->PatReadOn(pattern);
  FrmKestrin& f = *w->form;
  EXPECT_FALSE(Widget(f, "framGrid")->isEnabled());
  EXPECT_FALSE(Widget(f, "framPivot")->isEnabled());
  EXPECT_EQ(Opt(f, "optLine")->Value(), 1);  // the form's default, untouched
  EXPECT_TRUE(Check(f, "chkFitR")->isChecked());
  EXPECT_EQ(StdText(Edit(f, "txtPivotName")->text()), "ピボットテーブル1");
  EXPECT_EQ(w->state.settings.Line, 0);
  EXPECT_EQ(w->state.settings.PvtName, "別名");
}

}  // namespace
}  // namespace kestrin::app
