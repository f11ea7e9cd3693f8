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
  EXPECT_EQ(window->txtRow->text(), "1");
  EXPECT_EQ(window->txtCol->text(), "1");
  EXPECT_EQ(window->optTable->Value(), 0);
  EXPECT_FALSE(window->cboTables->isHidden());
  EXPECT_TRUE(window->cboQuerys->isHidden());
  EXPECT_EQ(window->lblTable->text().toStdString(), "ﾃｰﾌﾞﾙ名");
  EXPECT_EQ(window->optMidasi->Value(), 1);
  EXPECT_EQ(window->optView->Value(), 0);
  EXPECT_EQ(window->optGrid->Value(), 1);
  EXPECT_EQ(window->optPivot->Value(), 1);
  EXPECT_EQ(window->optLine->Value(), 1);
  EXPECT_EQ(window->optFilter->Value(), 1);
  EXPECT_TRUE(window->chkFitR->isChecked());
  EXPECT_TRUE(window->chkFitC->isChecked());
  ASSERT_EQ(window->cboKaiGyo->count(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(window->cboKaiGyo->itemText(i), QString::number(i + 1));
  EXPECT_EQ(window->cboKaiGyo->currentText(), "1");
  EXPECT_EQ(window->txtPivotName->text().toStdString(), "ピボットテーブル1");
  EXPECT_EQ(window->txtExpMax->text(), "0");
  EXPECT_EQ(window->txtCls->text(), "0");

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
  EXPECT_TRUE(window->Frame3->isEnabled());
  EXPECT_TRUE(window->Frame10->isEnabled());
  EXPECT_TRUE(window->Frame11->isEnabled());
  EXPECT_TRUE(window->cmdAcFile->isEnabled());
  EXPECT_TRUE(window->cmdExec->isEnabled());
  for (QWidget* frame : std::initializer_list<QWidget*>{
           window->Frame2, window->Frame4, window->Frame9, window->framGrid, window->framPivot}) {
    EXPECT_FALSE(frame->isEnabled()) << frame->objectName().toStdString();
  }
  EXPECT_FALSE(window->cboSheet->isEnabled());
  EXPECT_FALSE(window->chkFitR->isEnabled());

  EXPECT_EQ(window->linGuage->X2(), 0);
  EXPECT_TRUE(window->lblCount->text().isEmpty());
  EXPECT_TRUE(window->lblMaxCount->text().isEmpty());
  EXPECT_TRUE(window->txtMessege->text().isEmpty());
  EXPECT_EQ(window->Label33->text().toStdString(), "／");
  EXPECT_EQ(window->cmdExec->text().toStdString(), "実　　　　行");
  EXPECT_EQ(TwipsLeft(window->lblIti), 3000);
  EXPECT_EQ(TwipsTop(window->lblIti), 840);

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
  EXPECT_EQ(CaptionBeside(window->cboSheet), "シート名");
  EXPECT_EQ(CaptionBeside(window->cboKaiGyo), "改　　行");
  EXPECT_EQ(CaptionBeside(window->txtExpMax), "出　力　件　数");
  EXPECT_EQ(CaptionBeside(window->txtCls), "削除する行数");
  EXPECT_EQ(CaptionBeside(window->txtRow), "開始行");
  EXPECT_EQ(CaptionBeside(window->txtCol), "開始列");
  EXPECT_EQ(CaptionBeside(window->txtPivotName), "ﾋﾟﾎﾞｯﾄﾃｰﾌﾞﾙ名");
  EXPECT_EQ(CaptionBeside(window->cboPivotR1), "行");
  EXPECT_EQ(CaptionBeside(window->cboPivotC1), "列");
  EXPECT_EQ(CaptionBeside(window->cboPivotVal), "値");
  EXPECT_EQ(CaptionBeside(window->Frame10), "表作成の指定");
  EXPECT_EQ(CaptionBeside(window->Frame11), "ピボットテーブル作成の指定");
  struct Pair {
    OptionPair* pair;
    const char *row, *caption0, *caption1;
  };
  for (const Pair& p : {Pair{window->optMidasi, "見　出　し", "無し", "有り"},
                        Pair{window->optView, "表　　示", "する", "しない"},
                        Pair{window->optGrid, "", "しない", "する"},
                        Pair{window->optLine, "罫　　線", "無し", "有り"},
                        Pair{window->optFilter, "オートフィルタ", "無し", "有り"},
                        Pair{window->optPivot, "", "しない", "する"}}) {
    EXPECT_EQ(CaptionBeside(p.pair->Button(0)), p.caption0) << p.pair->objectName().toStdString();
    EXPECT_EQ(CaptionBeside(p.pair->Button(1)), p.caption1) << p.pair->objectName().toStdString();
    if (*p.row) {
      const auto labels = p.pair->Button(0)->parentWidget()->findChildren<QLabel*>();
      EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](QLabel* l) {
        return l->text().toStdString() == p.row;
      })) << p.row;
    }
  }
  EXPECT_EQ(window->m1->title().toStdString(), "ファイル");
  EXPECT_EQ(window->m1a->text().toStdString(), "パターン開く");
  EXPECT_EQ(window->m1b->text().toStdString(), "パターン保存");
  EXPECT_TRUE(window->m1m1->isSeparator());
  EXPECT_EQ(window->m1z->text().toStdString(), "終了");
  EXPECT_EQ(window->m2->text().toStdString(), "スクリーンセーバー");
  EXPECT_EQ(window->m8->text().toStdString(), "ヘルプ");
  EXPECT_EQ(window->m9->text().toStdString(), "アバウト");
  EXPECT_EQ(window->lblIti->text().toStdString(), "●");
}

TEST_F(WindowTest, TheProgressControlsSitWhereTheDesignPutsThem) {
  struct Expected {
    QWidget* control;
    int left, top, width, height;
  };
  for (const Expected& e : {Expected{window->lblCount, 4740, 5700, 675, 195},
                            Expected{window->Label33, 5460, 5700, 195, 195},
                            Expected{window->lblMaxCount, 5700, 5700, 795, 195},
                            Expected{window->Picture1, 6540, 5700, 2175, 195},
                            Expected{window->txtMessege, 6540, 5940, 2175, 375}}) {
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
  window->framGrid->setEnabled(true);
  window->framPivot->setEnabled(true);
  auto& s = state.settings;
  struct Pair {
    OptionPair* pair;
    std::int16_t* setting;
  };
  for (const Pair& p : {Pair{window->optMidasi, &s.Midasi}, Pair{window->optView, &s.Display},
                        Pair{window->optLine, &s.Line}, Pair{window->optFilter, &s.Filter},
                        Pair{window->optGrid, &s.GridF}, Pair{window->optPivot, &s.PivotF},
                        Pair{window->optTable, &s.TblKbn}}) {
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
  window->optTable->Button(1)->click();  // disabled until a database is open
  EXPECT_EQ(state.settings.TblKbn, 0);
  ChooseFiles();
  window->optTable->Button(1)->click();
  EXPECT_TRUE(window->cboTables->isHidden());
  EXPECT_FALSE(window->cboQuerys->isHidden());
  EXPECT_EQ(window->lblTable->text().toStdString(), "ｸｴﾘｰ名");
  window->optTable->Select(0);
  EXPECT_FALSE(window->cboTables->isHidden());
  EXPECT_TRUE(window->cboQuerys->isHidden());
  EXPECT_EQ(window->lblTable->text().toStdString(), "ﾃｰﾌﾞﾙ名");
}

TEST_F(WindowTest, FormattingAndPivotOptionsSwitchTheirFramesBeforeAndAfterADatabaseIsOpen) {
  // Before any database: "する" enables the frame at once.
  window->optGrid->Button(0)->click();
  window->optGrid->Button(1)->click();
  EXPECT_TRUE(window->framGrid->isEnabled());
  EXPECT_TRUE(window->optLine->Button(0)->isEnabled());
  // Other options leave the frames alone.
  window->optLine->Button(0)->click();
  window->optMidasi->Button(0)->click();
  EXPECT_TRUE(window->framGrid->isEnabled());
  EXPECT_FALSE(window->framPivot->isEnabled());

  ChooseFiles();
  window->framPivot->setEnabled(true);
  window->optPivot->Button(0)->click();
  EXPECT_FALSE(window->framPivot->isEnabled());
  EXPECT_FALSE(window->cboPivotR1->isEnabled());
  window->optGrid->Select(0);
  EXPECT_FALSE(window->framGrid->isEnabled());
}

TEST_F(WindowTest, FitBoxesSetOnlyTheirOwnSetting) {
  window->framGrid->setEnabled(true);
  window->chkFitR->click();
  EXPECT_EQ(state.settings.FitRow, 0);
  EXPECT_EQ(state.settings.FitCol, 1);
  window->chkFitR->setChecked(true);  // by the program
  EXPECT_EQ(state.settings.FitRow, 1);
  window->chkFitC->setChecked(false);
  EXPECT_EQ(state.settings.FitCol, 0);
  EXPECT_EQ(state.settings.FitRow, 1);
}

TEST_F(WindowTest, CollectSettingsCapturesTheBoxesAndRoundsHalvesToEven) {
  window->lblAcFile->setText(QStringLiteral("/data/a.mdb"));
  window->lblXlFile->setText(QStringLiteral("/data/b.xls"));
  window->cboTables->setEditText(QStringLiteral(" T "));
  window->cboQuerys->setEditText(QStringLiteral("Q"));
  window->cboSheet->setEditText(QString::fromUtf8("売上"));
  window->txtRow->setText(QStringLiteral(" 7 "));
  window->txtCol->setText(QStringLiteral("2.5"));
  window->cboKaiGyo->setEditText(QStringLiteral("3.5"));
  window->txtExpMax->setText(QStringLiteral("-32768"));
  window->txtCls->setText(QStringLiteral("32767"));
  window->txtPivotName->setText(QStringLiteral("P"));
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
  window->optTable->Select(1);
  window->CollectSettings();
  EXPECT_EQ(s.TblName, "Q");
}

TEST_F(WindowTest, CollectSettingsStopsAtTheFirstBoxThatIsNotA16BitNumber) {
  for (const char* bad : {"40000", "abc", ""}) {
    state.settings = {};
    window->txtRow->setText(QStringLiteral("5"));
    window->txtCol->setText(QStringLiteral("6"));
    window->cboKaiGyo->setEditText(QStringLiteral("2"));
    window->txtExpMax->setText(QString::fromUtf8(bad));
    window->txtCls->setText(QStringLiteral("9"));
    window->txtPivotName->setText(QStringLiteral("P"));
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
    window->txtRow->setText(c.row);
    window->txtCol->setText(c.col);
    window->txtRow_LostFocus();
    EXPECT_EQ(TwipsLeft(window->lblIti), c.left) << c.row << "," << c.col;
    EXPECT_EQ(TwipsTop(window->lblIti), c.top) << c.row << "," << c.col;
  }
  // Texts that sort before "2" other than "1" leave the marker in place,
  // whichever box holds them.
  window->txtRow->setText(QStringLiteral("2"));
  window->txtCol->setText(QStringLiteral("2"));
  window->txtCol_LostFocus();
  for (const char* stay : {"10", "", "0", "-1"}) {
    window->txtRow->setText(stay);
    window->txtCol_LostFocus();
    window->txtRow->setText(QStringLiteral("1"));
    window->txtCol->setText(stay);
    window->txtRow_LostFocus();
    window->txtRow->setText(QStringLiteral("2"));
    window->txtCol->setText(QStringLiteral("2"));
    EXPECT_EQ(TwipsLeft(window->lblIti), 3420) << stay;
    EXPECT_EQ(TwipsTop(window->lblIti), 1200) << stay;
  }
}

TEST_F(WindowTest, LeavingTheStartBoxesMovesTheMarker) {
  window->txtRow->setText(QStringLiteral("3"));
  window->txtCol->setText(QStringLiteral("2"));
  QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(window->txtCol, &leave);
  EXPECT_EQ(TwipsLeft(window->lblIti), 3420);
  EXPECT_EQ(TwipsTop(window->lblIti), 1560);
  window->txtRow->setText(QStringLiteral("1"));
  QApplication::sendEvent(window->txtRow, &leave);
  EXPECT_EQ(TwipsTop(window->lblIti), 840);
}

TEST_F(WindowTest, TheGaugeIsEmptyHalfOrFullAndLeftAloneOutsideIt) {
  window->GuageVis(50);
  EXPECT_FLOAT_EQ(window->linGuage->X2(), 1050);
  window->GuageVis(100);
  EXPECT_FLOAT_EQ(window->linGuage->X2(), 2100);
  window->GuageVis(0);
  EXPECT_FLOAT_EQ(window->linGuage->X2(), 0);
  window->GuageVis(33);
  EXPECT_FLOAT_EQ(window->linGuage->X2(), 693);
}

TEST_F(WindowTest, CountsOfTheLargestTableASheetHoldsShowUnclippedBesideTheSlash) {
  // An .xlsx sheet holds 1,048,576 records.
  window->Progress().SetMaxCountCaption("1048576");
  window->Progress().SetCountCaption("1048576");
  for (QLabel* label : {window->lblCount, window->lblMaxCount}) {
    EXPECT_EQ(label->text(), "1048576");
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width())
        << label->objectName().toStdString() << " in " << label->font().family().toStdString();
  }
  EXPECT_EQ(window->lblCount->geometry().right(), (4740 + 675) / 15 - 1);
  EXPECT_GT(window->lblCount->geometry().left(), window->cmdExec->geometry().right());
  // A total of five digits fits the label as designed.
  window->Progress().SetMaxCountCaption("65535");
  EXPECT_EQ(window->lblCount->geometry(), QRect(4740 / 15, 5700 / 15, 675 / 15, 195 / 15));
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
