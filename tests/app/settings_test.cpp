// The window's settings as a user sees them: the defaults after start-up,
// what each option and box does to its setting and frame, the capture of
// the boxes, the position marker and the gauge.
#include <QFocusEvent>
#include <QGroupBox>

#include <algorithm>

#include <gmock/gmock.h>

#include "app/window_progress.h"
#include "automation/failure.h"
#include "tests/app/window_fixture.h"

namespace kestrin::app::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

int TwipsLeft(const QWidget* w) { return w->x() * 15; }
int TwipsTop(const QWidget* w) { return w->y() * 15; }

TEST_F(WindowTest, StartUpGivesTheDefaultsAndEnablesOnlyTheSourceAndOptionFrames) {
  const auto& s = state.settings;
  EXPECT_EQ(window->windowTitle().toStdString(), "Kestrin Ver0.1");
  EXPECT_EQ(Edit(*window, "txtRow")->text(), "1");
  EXPECT_EQ(Edit(*window, "txtCol")->text(), "1");
  EXPECT_EQ(Opt(*window, "optTable")->Value(), 0);
  EXPECT_FALSE(Combo(*window, "cboTables")->isHidden());
  EXPECT_TRUE(Combo(*window, "cboQuerys")->isHidden());
  EXPECT_EQ(Label(*window, "lblTable")->text().toStdString(), "ﾃｰﾌﾞﾙ名");
  EXPECT_EQ(Opt(*window, "optMidasi")->Value(), 1);
  EXPECT_EQ(Opt(*window, "optView")->Value(), 0);
  EXPECT_EQ(Opt(*window, "optGrid")->Value(), 1);
  EXPECT_EQ(Opt(*window, "optPivot")->Value(), 1);
  EXPECT_EQ(Opt(*window, "optLine")->Value(), 1);
  EXPECT_EQ(Opt(*window, "optFilter")->Value(), 1);
  EXPECT_TRUE(Check(*window, "chkFitR")->isChecked());
  EXPECT_TRUE(Check(*window, "chkFitC")->isChecked());
  ASSERT_EQ(Combo(*window, "cboKaiGyo")->count(), 5);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(Combo(*window, "cboKaiGyo")->itemText(i), QString::number(i + 1));
  EXPECT_EQ(Combo(*window, "cboKaiGyo")->currentText(), "1");
  EXPECT_EQ(Edit(*window, "txtPivotName")->text().toStdString(), "ピボットテーブル1");
  EXPECT_EQ(Edit(*window, "txtExpMax")->text(), "0");
  EXPECT_EQ(Edit(*window, "txtCls")->text(), "0");

  EXPECT_EQ(s.TblKbn, 0);
  EXPECT_EQ(s.Midasi, 1);
  EXPECT_EQ(s.Display, 0);
  EXPECT_EQ(s.GridF, 1);
  EXPECT_EQ(s.PivotF, 1);
  EXPECT_EQ(s.Line, 1);
  EXPECT_EQ(s.Filter, 1);
  EXPECT_EQ(s.FitRow, 1);
  EXPECT_EQ(s.FitCol, 1);

  // Disabled last, although selecting "する" in optGrid and optPivot
  // enabled their frames on the way.
  EXPECT_TRUE(Widget(*window, "Frame3")->isEnabled());
  EXPECT_TRUE(Widget(*window, "Frame10")->isEnabled());
  EXPECT_TRUE(Widget(*window, "Frame11")->isEnabled());
  EXPECT_TRUE(Button(*window, "cmdAcFile")->isEnabled());
  EXPECT_TRUE(Button(*window, "cmdExec")->isEnabled());
  for (QWidget* frame : std::initializer_list<QWidget*>{
           Widget(*window, "Frame2"), Widget(*window, "Frame4"), Widget(*window, "Frame9"),
           Widget(*window, "framGrid"), Widget(*window, "framPivot")}) {
    EXPECT_FALSE(frame->isEnabled()) << frame->objectName().toStdString();
  }
  EXPECT_FALSE(Combo(*window, "cboSheet")->isEnabled());
  EXPECT_FALSE(Check(*window, "chkFitR")->isEnabled());

  EXPECT_EQ(Gauge(*window)->X2(), 0);
  EXPECT_TRUE(Label(*window, "lblCount")->text().isEmpty());
  EXPECT_TRUE(Label(*window, "lblMaxCount")->text().isEmpty());
  EXPECT_TRUE(Edit(*window, "txtMessege")->text().isEmpty());
  EXPECT_EQ(Label(*window, "Label33")->text().toStdString(), "／");
  EXPECT_EQ(Button(*window, "cmdExec")->text().toStdString(), "実　　　　行");
  EXPECT_EQ(TwipsLeft(Label(*window, "lblIti")), 3000);
  EXPECT_EQ(TwipsTop(Label(*window, "lblIti")), 840);

  EXPECT_EQ(state.ExecF, 0);
  EXPECT_EQ(state.workbook.XlNewF, 0);
  EXPECT_EQ(state.source.AcNewF, 0);
  ASSERT_FALSE(state.AppPath.empty());
  EXPECT_EQ(state.AppPath.back(), '/');
  EXPECT_TRUE(window->KeyPreview);
}

// The caption of the label standing to the left of `control` in its frame.
std::string CaptionBeside(QWidget* control) {
  QLabel* nearest = nullptr;
  for (QLabel* label : control->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
    const bool same_line =
        std::abs(label->geometry().center().y() - control->geometry().center().y()) < 6;
    if (same_line && label->geometry().right() <= control->x() &&
        (nearest == nullptr || label->x() > nearest->x())) {
      nearest = label;
    }
  }
  return nearest ? nearest->text().toStdString() : "";
}

TEST_F(WindowTest, EveryControlCarriesItsDesignNameAndCaption) {
  auto group = [&](const char* name) {
    auto* box = window->findChild<QGroupBox*>(name);
    return box ? box->title().toStdString() : std::string("(missing)");
  };
  EXPECT_EQ(group("Frame3"), "出力元ファイル選択");
  EXPECT_EQ(group("Frame2"), "テーブル種別");
  EXPECT_EQ(group("Frame4"), "出力先ファイル選択");
  EXPECT_EQ(group("Frame9"), "出力方法指定");
  EXPECT_EQ(group("framGrid"), "表作成");
  EXPECT_EQ(group("framPivot"), "ピボットテーブル作成");
  auto button = [&](const char* name) {
    auto* b = window->findChild<QAbstractButton*>(name);
    return b ? b->text().toStdString() : std::string("(missing)");
  };
  EXPECT_EQ(button("cmdAcFile"), "mdbFile");
  EXPECT_EQ(button("cmdXlFile"), "xlsFile");
  EXPECT_EQ(button("cmdExec"), "実　　　　行");
  EXPECT_EQ(button("optTable(0)"), "テーブル");
  EXPECT_EQ(button("optTable(1)"), "クエリー");
  EXPECT_EQ(button("chkFitR"), "行");
  EXPECT_EQ(button("chkFitC"), "列");
  EXPECT_EQ(CaptionBeside(Combo(*window, "cboSheet")), "シート名");
  EXPECT_EQ(CaptionBeside(Combo(*window, "cboKaiGyo")), "改　　行");
  EXPECT_EQ(CaptionBeside(Edit(*window, "txtExpMax")), "出　力　件　数");
  EXPECT_EQ(CaptionBeside(Edit(*window, "txtCls")), "削除する行数");
  EXPECT_EQ(CaptionBeside(Edit(*window, "txtRow")), "開始行");
  EXPECT_EQ(CaptionBeside(Edit(*window, "txtCol")), "開始列");
  EXPECT_EQ(CaptionBeside(Edit(*window, "txtPivotName")), "ﾋﾟﾎﾞｯﾄﾃｰﾌﾞﾙ名");
  EXPECT_EQ(CaptionBeside(Combo(*window, "cboPivotR1")), "行");
  EXPECT_EQ(CaptionBeside(Combo(*window, "cboPivotC1")), "列");
  EXPECT_EQ(CaptionBeside(Combo(*window, "cboPivotVal")), "値");
  EXPECT_EQ(CaptionBeside(Widget(*window, "Frame10")), "表作成の指定");
  EXPECT_EQ(CaptionBeside(Widget(*window, "Frame11")), "ピボットテーブル作成の指定");
  struct Pair {
    OptionPair* pair;
    const char *row, *caption0, *caption1;
  };
  for (const Pair& p : {Pair{Opt(*window, "optMidasi"), "見　出　し", "無し", "有り"},
                        Pair{Opt(*window, "optView"), "表　　示", "する", "しない"},
                        Pair{Opt(*window, "optGrid"), "", "しない", "する"},
                        Pair{Opt(*window, "optLine"), "罫　　線", "無し", "有り"},
                        Pair{Opt(*window, "optFilter"), "オートフィルタ", "無し", "有り"},
                        Pair{Opt(*window, "optPivot"), "", "しない", "する"}}) {
    EXPECT_EQ(CaptionBeside(p.pair->Button(0)), p.caption0) << p.pair->objectName().toStdString();
    EXPECT_EQ(CaptionBeside(p.pair->Button(1)), p.caption1) << p.pair->objectName().toStdString();
    if (*p.row) {
      const auto labels = p.pair->Button(0)->parentWidget()->findChildren<QLabel*>();
      EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](QLabel* l) {
        return l->text().toStdString() == p.row;
      })) << p.row;
    }
  }
  EXPECT_EQ(Find<QMenu>(*window, "m1")->title().toStdString(), "ファイル");
  EXPECT_EQ(Action(*window, "m1a")->text().toStdString(), "パターン開く");
  EXPECT_EQ(Action(*window, "m1b")->text().toStdString(), "パターン保存");
  EXPECT_TRUE(Action(*window, "m1m1")->isSeparator());
  EXPECT_EQ(Action(*window, "m1z")->text().toStdString(), "終了");
  EXPECT_EQ(Action(*window, "m2")->text().toStdString(), "スクリーンセーバー");
  EXPECT_EQ(Action(*window, "m8")->text().toStdString(), "ヘルプ");
  EXPECT_EQ(Action(*window, "m9")->text().toStdString(), "アバウト");
  EXPECT_EQ(Label(*window, "lblIti")->text().toStdString(), "●");
}

TEST_F(WindowTest, TheProgressControlsSitWhereTheDesignPutsThem) {
  struct Expected {
    QWidget* control;
    int left, top, width, height;
  };
  for (const Expected& e : {Expected{Label(*window, "lblCount"), 4740, 5700, 675, 195},
                            Expected{Label(*window, "Label33"), 5460, 5700, 195, 195},
                            Expected{Label(*window, "lblMaxCount"), 5700, 5700, 795, 195},
                            Expected{Widget(*window, "Picture1"), 6540, 5700, 2175, 195},
                            Expected{Edit(*window, "txtMessege"), 6540, 5940, 2175, 375}}) {
    EXPECT_EQ(e.control->geometry(), QRect(e.left / 15, e.top / 15, e.width / 15, e.height / 15));
  }
}

TEST(WindowStartTest, ACommandLineOfBlanksStartsInteractiveUseAndAnyOtherTextTheUnattendedRun) {
  kestrin::testing::FakeAccessServer access;
  kestrin::testing::FakeXlServer excel;
  WatchingMessageBox messages;
  for (const auto& [line, exec] :
       std::vector<std::pair<std::string, int>>{{"", 0}, {"   ", 0}, {" \"/p/a.kst\" ", 1}}) {
    ModuleState state;
    FrmKestrin window(state, {access, excel, messages, nullptr, line});
    window.Form_Load();
    EXPECT_EQ(state.ExecF, exec) << "[" << line << "]";
  }
}

TEST_F(WindowTest, EachOptionSetsItsSettingWhenTheUserOrTheProgramSelectsIt) {
  ChooseFiles();
  Widget(*window, "framGrid")->setEnabled(true);
  Widget(*window, "framPivot")->setEnabled(true);
  auto& s = state.settings;
  struct Pair {
    OptionPair* pair;
    std::int16_t* setting;
  };
  for (const Pair& p :
       {Pair{Opt(*window, "optMidasi"), &s.Midasi}, Pair{Opt(*window, "optView"), &s.Display},
        Pair{Opt(*window, "optLine"), &s.Line}, Pair{Opt(*window, "optFilter"), &s.Filter},
        Pair{Opt(*window, "optGrid"), &s.GridF}, Pair{Opt(*window, "optPivot"), &s.PivotF},
        Pair{Opt(*window, "optTable"), &s.TblKbn}}) {
    p.pair->Select(0);
    EXPECT_EQ(*p.setting, 0);
    p.pair->Button(1)->click();  // as the user does
    EXPECT_EQ(*p.setting, 1);
    EXPECT_EQ(p.pair->Value(), 1);
    p.pair->Button(0)->click();
    EXPECT_EQ(*p.setting, 0);
    // The program selecting the button already selected runs the handler too.
    *p.setting = 7;
    p.pair->Select(0);
    EXPECT_EQ(*p.setting, 0);
  }
}

TEST_F(WindowTest, TableKindSwitchesTheVisibleListAndItsCaption) {
  Opt(*window, "optTable")->Button(1)->click();  // disabled until a database is open
  EXPECT_EQ(state.settings.TblKbn, 0);
  ChooseFiles();
  Opt(*window, "optTable")->Button(1)->click();
  EXPECT_TRUE(Combo(*window, "cboTables")->isHidden());
  EXPECT_FALSE(Combo(*window, "cboQuerys")->isHidden());
  EXPECT_EQ(Label(*window, "lblTable")->text().toStdString(), "ｸｴﾘｰ名");
  Opt(*window, "optTable")->Select(0);
  EXPECT_FALSE(Combo(*window, "cboTables")->isHidden());
  EXPECT_TRUE(Combo(*window, "cboQuerys")->isHidden());
  EXPECT_EQ(Label(*window, "lblTable")->text().toStdString(), "ﾃｰﾌﾞﾙ名");
}

TEST_F(WindowTest, FormattingAndPivotOptionsSwitchTheirFramesBeforeAndAfterADatabaseIsOpen) {
  // Before any database: "する" enables the frame at once.
  Opt(*window, "optGrid")->Button(0)->click();
  Opt(*window, "optGrid")->Button(1)->click();
  EXPECT_TRUE(Widget(*window, "framGrid")->isEnabled());
  EXPECT_TRUE(Opt(*window, "optLine")->Button(0)->isEnabled());
  // Other options leave the frames alone.
  Opt(*window, "optLine")->Button(0)->click();
  Opt(*window, "optMidasi")->Button(0)->click();
  EXPECT_TRUE(Widget(*window, "framGrid")->isEnabled());
  EXPECT_FALSE(Widget(*window, "framPivot")->isEnabled());

  ChooseFiles();
  Widget(*window, "framPivot")->setEnabled(true);
  Opt(*window, "optPivot")->Button(0)->click();
  EXPECT_FALSE(Widget(*window, "framPivot")->isEnabled());
  EXPECT_FALSE(Combo(*window, "cboPivotR1")->isEnabled());
  Opt(*window, "optGrid")->Select(0);
  EXPECT_FALSE(Widget(*window, "framGrid")->isEnabled());
}

TEST_F(WindowTest, FitBoxesSetOnlyTheirOwnSetting) {
  Widget(*window, "framGrid")->setEnabled(true);
  Check(*window, "chkFitR")->click();
  EXPECT_EQ(state.settings.FitRow, 0);
  EXPECT_EQ(state.settings.FitCol, 1);
  Check(*window, "chkFitR")->setChecked(true);  // by the program
  EXPECT_EQ(state.settings.FitRow, 1);
  Check(*window, "chkFitC")->setChecked(false);
  EXPECT_EQ(state.settings.FitCol, 0);
  EXPECT_EQ(state.settings.FitRow, 1);
}

TEST_F(WindowTest, CollectSettingsCapturesTheBoxesAndRoundsHalvesToEven) {
  Label(*window, "lblAcFile")->setText(QStringLiteral("/data/a.mdb"));
  Label(*window, "lblXlFile")->setText(QStringLiteral("/data/b.xls"));
  Combo(*window, "cboTables")->setEditText(QStringLiteral(" T "));
  Combo(*window, "cboQuerys")->setEditText(QStringLiteral("Q"));
  Combo(*window, "cboSheet")->setEditText(QString::fromUtf8("売上"));
  Edit(*window, "txtRow")->setText(QStringLiteral(" 7 "));
  Edit(*window, "txtCol")->setText(QStringLiteral("2.5"));
  Combo(*window, "cboKaiGyo")->setEditText(QStringLiteral("3.5"));
  Edit(*window, "txtExpMax")->setText(QStringLiteral("-32768"));
  Edit(*window, "txtCls")->setText(QStringLiteral("32767"));
  Edit(*window, "txtPivotName")->setText(QStringLiteral("P"));
  SetPivot("r1", "r2", "c1", "c2", "v");

  window->CollectSettings();
  const auto& s = state.settings;
  EXPECT_EQ(s.FileMoto, "/data/a.mdb");
  EXPECT_EQ(s.FileSaki, "/data/b.xls");
  EXPECT_EQ(s.TblName, " T ");  // texts are taken as they are
  EXPECT_EQ(s.ShtName, "売上");
  EXPECT_EQ(s.StartRow, 7);
  EXPECT_EQ(s.StartCol, 2);
  EXPECT_EQ(s.KaiGyo, 4);
  EXPECT_EQ(s.OutGyo, -32768);
  EXPECT_EQ(s.ClsGyo, 32767);
  EXPECT_EQ(s.PvtName, "P");
  EXPECT_EQ(s.PvtRow1, "r1");
  EXPECT_EQ(s.PvtRow2, "r2");
  EXPECT_EQ(s.PvtCol1, "c1");
  EXPECT_EQ(s.PvtCol2, "c2");
  EXPECT_EQ(s.PvtVal, "v");

  // With the query kind, the name comes from the query list.
  Opt(*window, "optTable")->Select(1);
  window->CollectSettings();
  EXPECT_EQ(s.TblName, "Q");
}

TEST_F(WindowTest, CollectSettingsStopsAtTheFirstBoxThatIsNotA16BitNumber) {
  for (const char* bad : {"40000", "abc", ""}) {
    state.settings = {};
    Edit(*window, "txtRow")->setText(QStringLiteral("5"));
    Edit(*window, "txtCol")->setText(QStringLiteral("6"));
    Combo(*window, "cboKaiGyo")->setEditText(QStringLiteral("2"));
    Edit(*window, "txtExpMax")->setText(QString::fromUtf8(bad));
    Edit(*window, "txtCls")->setText(QStringLiteral("9"));
    Edit(*window, "txtPivotName")->setText(QStringLiteral("P"));
    SetPivot("r1", "r2", "c1", "c2", "v");
    try {
      window->CollectSettings();
      ADD_FAILURE() << "no error for [" << bad << "]";
    } catch (const automation::AutomationError& e) {
      EXPECT_EQ(e.number(), std::string(bad) == "40000" ? 6 : 13) << bad;
    }
    const auto& s = state.settings;
    EXPECT_EQ(s.StartRow, 5);
    EXPECT_EQ(s.StartCol, 6);
    EXPECT_EQ(s.KaiGyo, 2);
    EXPECT_EQ(s.OutGyo, 0);
    EXPECT_EQ(s.ClsGyo, 0);
    EXPECT_EQ(s.PvtName, "");
    EXPECT_EQ(s.PvtVal, "");
  }
}

TEST_F(WindowTest, TheMarkerTellsTheFirstSecondAndLaterRowsAndColumnsApart) {
  struct Case {
    const char *row, *col;
    int left, top;
  };
  for (const Case& c :
       {Case{"1", "3", 3840, 840}, Case{"2", "1", 3000, 1200}, Case{"20", "2", 3420, 1560},
        Case{"2x", "9", 3840, 1560}, Case{"1", "1", 3000, 840}}) {
    Edit(*window, "txtRow")->setText(c.row);
    Edit(*window, "txtCol")->setText(c.col);
    window->txtRow_LostFocus();
    EXPECT_EQ(TwipsLeft(Label(*window, "lblIti")), c.left) << c.row << "," << c.col;
    EXPECT_EQ(TwipsTop(Label(*window, "lblIti")), c.top) << c.row << "," << c.col;
  }
  // Texts that sort before "2" other than "1" leave the marker in place,
  // whichever box holds them.
  Edit(*window, "txtRow")->setText(QStringLiteral("2"));
  Edit(*window, "txtCol")->setText(QStringLiteral("2"));
  window->txtCol_LostFocus();
  for (const char* stay : {"10", "", "0", "-1"}) {
    Edit(*window, "txtRow")->setText(stay);
    window->txtCol_LostFocus();
    Edit(*window, "txtRow")->setText(QStringLiteral("1"));
    Edit(*window, "txtCol")->setText(stay);
    window->txtRow_LostFocus();
    Edit(*window, "txtRow")->setText(QStringLiteral("2"));
    Edit(*window, "txtCol")->setText(QStringLiteral("2"));
    EXPECT_EQ(TwipsLeft(Label(*window, "lblIti")), 3420) << stay;
    EXPECT_EQ(TwipsTop(Label(*window, "lblIti")), 1200) << stay;
  }
}

TEST_F(WindowTest, LeavingTheStartBoxesMovesTheMarker) {
  Edit(*window, "txtRow")->setText(QStringLiteral("3"));
  Edit(*window, "txtCol")->setText(QStringLiteral("2"));
  QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(Edit(*window, "txtCol"), &leave);
  EXPECT_EQ(TwipsLeft(Label(*window, "lblIti")), 3420);
  EXPECT_EQ(TwipsTop(Label(*window, "lblIti")), 1560);
  Edit(*window, "txtRow")->setText(QStringLiteral("1"));
  QApplication::sendEvent(Edit(*window, "txtRow"), &leave);
  EXPECT_EQ(TwipsTop(Label(*window, "lblIti")), 840);
}

TEST_F(WindowTest, TheGaugeIsEmptyHalfOrFullAndLeftAloneOutsideIt) {
  window->GuageVis(50);
  EXPECT_FLOAT_EQ(Gauge(*window)->X2(), 1050);
  window->GuageVis(100);
  EXPECT_FLOAT_EQ(Gauge(*window)->X2(), 2100);
  window->GuageVis(0);
  EXPECT_FLOAT_EQ(Gauge(*window)->X2(), 0);
  window->GuageVis(33);
  EXPECT_FLOAT_EQ(Gauge(*window)->X2(), 693);
}

TEST_F(WindowTest, CountsOfTheLargestTableASheetHoldsShowUnclippedBesideTheSlash) {
  // An .xlsx sheet holds 1,048,576 records.
  window->Progress().SetMaxCountCaption("1048576");
  window->Progress().SetCountCaption("1048576");
  for (QLabel* label : {Label(*window, "lblCount"), Label(*window, "lblMaxCount")}) {
    EXPECT_EQ(label->text(), "1048576");
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width())
        << label->objectName().toStdString() << " in " << label->font().family().toStdString();
  }
  EXPECT_EQ(Label(*window, "lblCount")->geometry().right(), (4740 + 675) / 15 - 1);
  EXPECT_GT(Label(*window, "lblCount")->geometry().left(),
            Button(*window, "cmdExec")->geometry().right());
  // A total of five digits fits the label as designed.
  window->Progress().SetMaxCountCaption("65535");
  EXPECT_EQ(Label(*window, "lblCount")->geometry(),
            QRect(4740 / 15, 5700 / 15, 675 / 15, 195 / 15));
}

TEST(WindowProgressTest, PaintsTheFirstAndTheLastRecordAndAtMostOnceAnIntervalBetween) {
  QLabel total, count;
  GuageLine gauge;
  WindowProgress slow(total, count, gauge, std::chrono::hours(1));
  slow.SetMaxCountCaption("1000");
  for (int n = 1; n <= 1000; ++n) {
    slow.SetCountCaption(std::to_string(n));
    slow.SetGaugeX2(n * 2.1f);
  }
  EXPECT_EQ(slow.painted(), 2);  // record 1 and record 1000
  EXPECT_EQ(count.text(), "1000");
  EXPECT_EQ(total.text(), "1000");
  EXPECT_FLOAT_EQ(gauge.X2(), 2100);

  // A run that ends early leaves the true figures once flushed.
  WindowProgress cut(total, count, gauge, std::chrono::hours(1));
  cut.SetMaxCountCaption("10");
  for (int n = 1; n <= 7; ++n) {
    cut.SetCountCaption(std::to_string(n));
    cut.SetGaugeX2(n * 210.0f);
  }
  EXPECT_EQ(count.text(), "1");
  cut.Flush();
  EXPECT_EQ(count.text(), "7");
  EXPECT_FLOAT_EQ(gauge.X2(), 1470);

  WindowProgress every(total, count, gauge, std::chrono::nanoseconds(0));
  every.SetMaxCountCaption("10");
  for (int n = 1; n <= 7; ++n) {
    every.SetCountCaption(std::to_string(n));
    every.SetGaugeX2(n * 210.0f);
  }
  EXPECT_EQ(every.painted(), 7);
  EXPECT_EQ(count.text(), "7");
  EXPECT_FLOAT_EQ(gauge.X2(), 1470);
}

}  // namespace
}  // namespace kestrin::app::testing
