// The main window's keyboard and menus, offscreen: the walk with Enter in
// each state of the window, Enter still reaching the control, the commands
// that hand something to the desktop, and the one About box.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "app/frm_about.h"
#include "app/frm_kestrin.h"
#include "app/option_pair.h"
#include "tests/doubles/fake_servers.h"
#include "tests/doubles/recording_desktop.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/controls.h"

namespace kestrin::app {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using testing::RecordingDesktop;
using testing::StartedProgram;
using namespace kestrin::testing;

class WindowKeysMenusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<FrmKestrin>(
        state_,
        WindowServices{
            .access = access_, .excel = excel_, .messages = messages_, .desktop = &desktop_});
    window_->Form_Load();
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }
  void TearDown() override {
    window_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  FrmKestrin& w() { return *window_; }

  // What opening a database does to the window: the five frames on, the
  // sheet list off until a workbook is chosen.
  void ChooseDatabase() {
    for (QWidget* frame : {static_cast<QWidget*>(Widget(w(), "Frame2")),
                           static_cast<QWidget*>(Widget(w(), "Frame4")),
                           static_cast<QWidget*>(Widget(w(), "Frame9")),
                           static_cast<QWidget*>(Widget(w(), "framGrid")),
                           static_cast<QWidget*>(Widget(w(), "framPivot"))}) {
      frame->setEnabled(true);
    }
    Combo(w(), "cboSheet")->setEnabled(false);
  }

  // Presses Enter in the focused control, lets the window move on, and
  // returns where the focus went.
  QWidget* Enter() {
    QWidget* focus = QApplication::focusWidget();
    EXPECT_NE(focus, nullptr);
    if (focus == nullptr) return nullptr;
    QTest::keyClick(focus, Qt::Key_Return);
    QCoreApplication::processEvents();
    return QApplication::focusWidget();
  }

  // The controls visited with Enter from cmdAcFile until the focus comes
  // back to it (at most 40 steps).
  std::vector<QWidget*> EnterWalk() {
    Button(w(), "cmdAcFile")->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    std::vector<QWidget*> walk{QApplication::focusWidget()};
    for (int i = 0; i < 40; ++i) {
      QWidget* next = Enter();
      if (next == Button(w(), "cmdAcFile") || next == nullptr) break;
      walk.push_back(next);
    }
    return walk;
  }

  std::vector<QWidget*> Selected(std::initializer_list<OptionPair*> pairs) {
    std::vector<QWidget*> buttons;
    for (OptionPair* pair : pairs) buttons.push_back(pair->Button(pair->Value()));
    return buttons;
  }

  testing::FakeAccessServer access_;
  testing::FakeXlServer excel_;
  testing::RecordingMessageBox messages_;
  RecordingDesktop desktop_;
  ModuleState state_;
  std::unique_ptr<FrmKestrin> window_;
};

TEST_F(WindowKeysMenusTest, EnterWalksTheControlsThatCanBeUsedBeforeADatabaseIsChosen) {
  EXPECT_THAT(EnterWalk(), ElementsAre(Button(w(), "cmdAcFile"), Opt(w(), "optGrid")->Button(1),
                                       Opt(w(), "optPivot")->Button(1), Button(w(), "cmdExec"),
                                       Edit(w(), "txtMessege")));
  // From the last control Enter went round to the first.
  EXPECT_EQ(QApplication::focusWidget(), Button(w(), "cmdAcFile"));
}

TEST_F(WindowKeysMenusTest, EnterWalksTheWholeTabOrderOnceADatabaseAndWorkbookAreChosen) {
  ChooseDatabase();
  std::vector<QWidget*> expected{Button(w(), "cmdAcFile"), Button(w(), "cmdXlFile"),
                                 Combo(w(), "cboTables"), Opt(w(), "optTable")->Button(0)};
  for (QWidget* c : Selected({Opt(w(), "optLine"), Opt(w(), "optFilter")})) expected.push_back(c);
  for (QWidget* c : std::initializer_list<QWidget*>{
           Check(w(), "chkFitC"), Check(w(), "chkFitR"), Combo(w(), "cboPivotC1"),
           Combo(w(), "cboPivotC2"), Combo(w(), "cboPivotR1"), Combo(w(), "cboPivotR2"),
           Combo(w(), "cboPivotVal"), Edit(w(), "txtPivotName"), Combo(w(), "cboKaiGyo"),
           Edit(w(), "txtExpMax"), Edit(w(), "txtCls"), Edit(w(), "txtRow"), Edit(w(), "txtCol")}) {
    expected.push_back(c);
  }
  for (QWidget* c : Selected({Opt(w(), "optMidasi"), Opt(w(), "optView"), Opt(w(), "optGrid"),
                              Opt(w(), "optPivot")})) {
    expected.push_back(c);
  }
  expected.push_back(Button(w(), "cmdExec"));
  expected.push_back(Edit(w(), "txtMessege"));
  // The sheet list waits for a workbook.
  EXPECT_THAT(EnterWalk(), ElementsAreArray(expected));

  Combo(w(), "cboSheet")->setEnabled(true);
  expected.insert(expected.begin() + 2, Combo(w(), "cboSheet"));
  EXPECT_THAT(EnterWalk(), ElementsAreArray(expected));

  // Tab follows the same order.
  Button(w(), "cmdAcFile")->setFocus(Qt::OtherFocusReason);
  std::vector<QWidget*> tabbed{QApplication::focusWidget()};
  for (size_t i = 1; i < expected.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    tabbed.push_back(QApplication::focusWidget());
  }
  EXPECT_THAT(tabbed, ElementsAreArray(expected));
}

TEST_F(WindowKeysMenusTest, EnterSkipsHiddenAndFramedOffControlsAndEntersAPairAtItsChoice) {
  ChooseDatabase();
  Opt(w(), "optTable")->Select(1);   // the query list instead of the table list
  Opt(w(), "optGrid")->Select(0);    // table formatting off: framGrid off
  Opt(w(), "optPivot")->Select(0);   // no pivot table: framPivot off
  Opt(w(), "optMidasi")->Select(0);  // the pair is entered at "無し"
  EXPECT_THAT(
      EnterWalk(),
      ElementsAre(Button(w(), "cmdAcFile"), Button(w(), "cmdXlFile"), Combo(w(), "cboQuerys"),
                  Opt(w(), "optTable")->Button(1), Combo(w(), "cboKaiGyo"), Edit(w(), "txtExpMax"),
                  Edit(w(), "txtCls"), Edit(w(), "txtRow"), Edit(w(), "txtCol"),
                  Opt(w(), "optMidasi")->Button(0), Opt(w(), "optView")->Button(0),
                  Opt(w(), "optGrid")->Button(0), Opt(w(), "optPivot")->Button(0),
                  Button(w(), "cmdExec"), Edit(w(), "txtMessege")));

  // A control disabled on its own is skipped like one in a disabled frame.
  Edit(w(), "txtCls")->setEnabled(false);
  Edit(w(), "txtExpMax")->setFocus(Qt::OtherFocusReason);
  EXPECT_EQ(Enter(), Edit(w(), "txtRow"));
}

TEST_F(WindowKeysMenusTest, ANameTypedIntoAListStaysAsTypedWhenTheFocusMoves) {
  ChooseDatabase();
  Combo(w(), "cboSheet")->setEnabled(true);
  auto type_into = [&](QComboBox* box, const QString& typed, bool by_enter) {
    box->clear();
    box->addItems({"Sales", "売上データ", "Other"});
    box->setCurrentIndex(2);
    box->setFocus(Qt::OtherFocusReason);
    box->lineEdit()->selectAll();
    if (typed.front().unicode() < 0x80) {
      QTest::keyClicks(box, typed);
    } else {
      // Japanese arrives from the input method, committed as a whole.
      QInputMethodEvent committed;
      committed.setCommitString(typed);
      QApplication::sendEvent(box->lineEdit(), &committed);
    }
    if (by_enter) {
      Enter();
    } else {
      QTest::keyClick(box, Qt::Key_Tab);
    }
    QCoreApplication::processEvents();
    EXPECT_NE(QApplication::focusWidget(), box);
    return box->currentText().toStdString();
  };
  for (QComboBox* box : {Combo(w(), "cboTables"), Combo(w(), "cboSheet"), Combo(w(), "cboPivotR1"),
                         Combo(w(), "cboPivotR2"), Combo(w(), "cboPivotC1"),
                         Combo(w(), "cboPivotC2"), Combo(w(), "cboPivotVal")}) {
    SCOPED_TRACE(box->objectName().toStdString());
    // A prefix of another entry, leaving by Tab and by Enter.
    EXPECT_EQ(type_into(box, "Sale", false), "Sale");
    EXPECT_EQ(type_into(box, "売上", true), "売上");
    // Another case than an entry's.
    EXPECT_EQ(type_into(box, "sales", true), "sales");
  }
  Opt(w(), "optTable")->Select(1);
  EXPECT_EQ(type_into(Combo(w(), "cboQuerys"), "Sale", true), "Sale");
  // What the export and the pattern file take is the typed text.
  w().CollectSettings();
  EXPECT_EQ(state_.settings.TblName, "Sale");
  EXPECT_EQ(state_.settings.ShtName, "sales");
  EXPECT_EQ(state_.settings.PvtVal, "sales");
}

TEST_F(WindowKeysMenusTest, EnterStillReachesTheControlAndLeavingTheStartRowRunsItsHandler) {
  ChooseDatabase();
  Edit(w(), "txtRow")->setFocus(Qt::OtherFocusReason);
  Edit(w(), "txtRow")->selectAll();
  QTest::keyClicks(Edit(w(), "txtRow"), "2");
  const QPoint marker = Label(w(), "lblIti")->pos();
  QSignalSpy entered(Edit(w(), "txtRow"), &QLineEdit::returnPressed);
  EXPECT_EQ(Enter(), Edit(w(), "txtCol"));
  EXPECT_EQ(entered.count(), 1);
  // The focus-loss handler moved the marker down one row.
  EXPECT_EQ(Label(w(), "lblIti")->pos(), marker + QPoint(0, (1200 - 840) / 15));
  EXPECT_EQ(Enter(), Opt(w(), "optMidasi")->Button(1));

  // A typed sheet name stays a typed name: Enter does not add it to the list.
  Combo(w(), "cboSheet")->setEnabled(true);
  Combo(w(), "cboSheet")->addItem("Sheet1");
  Combo(w(), "cboSheet")->setFocus(Qt::OtherFocusReason);
  Combo(w(), "cboSheet")->setEditText("");
  QTest::keyClicks(Combo(w(), "cboSheet"), "Sheet9");
  EXPECT_EQ(Enter(), Combo(w(), "cboTables"));
  EXPECT_EQ(Combo(w(), "cboSheet")->count(), 1);
  EXPECT_EQ(Combo(w(), "cboSheet")->currentText(), "Sheet9");

  // Other keys do not move the focus; before Form_Load the window has no
  // key preview and Enter stays where it is.
  Edit(w(), "txtExpMax")->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(Edit(w(), "txtExpMax"), Qt::Key_5);
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::focusWidget(), Edit(w(), "txtExpMax"));
  w().KeyPreview = false;
  EXPECT_EQ(Enter(), Edit(w(), "txtExpMax"));
}

TEST_F(WindowKeysMenusTest, HelpOpensTheReadMeBesideTheProgram) {
  Action(w(), "m8")->trigger();
  ASSERT_FALSE(state_.AppPath.empty());
  EXPECT_EQ(state_.AppPath.back(), '/');
  EXPECT_THAT(desktop_.opened_files,
              ElementsAre(QCoreApplication::applicationDirPath().toStdString() + "/ReadMe.txt"));
  EXPECT_THAT(desktop_.opened_urls, IsEmpty());
  EXPECT_THAT(messages_.shown, IsEmpty());
}

TEST_F(WindowKeysMenusTest, ScreenSaverOpensTheDesktopsSettingsOrQuietlyNothing) {
  desktop_.current = {"XFCE"};
  desktop_.installed = {{"xfce4-screensaver-preferences", "/usr/bin/xfce4-screensaver-preferences"},
                        {"xscreensaver-settings", "/usr/bin/xscreensaver-settings"}};
  Action(w(), "m2")->trigger();
  EXPECT_THAT(desktop_.started,
              ElementsAre(StartedProgram{"/usr/bin/xfce4-screensaver-preferences", {}}));

  desktop_.started.clear();
  desktop_.installed.clear();
  const int windows = static_cast<int>(QApplication::topLevelWidgets().size());
  Action(w(), "m2")->trigger();
  EXPECT_THAT(desktop_.started, IsEmpty());
  EXPECT_THAT(messages_.shown, IsEmpty());
  EXPECT_EQ(static_cast<int>(QApplication::topLevelWidgets().size()), windows);
}

TEST_F(WindowKeysMenusTest, AboutIsOneModelessBoxThatOkUnloadsAndThatOpensFreshNextTime) {
  EXPECT_EQ(w().About(), nullptr);
  Action(w(), "m9")->trigger();
  QPointer<FrmAbout> first = w().About();
  ASSERT_FALSE(first.isNull());
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  first->setObjectName("first");

  Action(w(), "m9")->trigger();
  EXPECT_EQ(w().About(), first.data());
  EXPECT_EQ(w().findChildren<FrmAbout*>().size(), 1);

  // The window stays usable while the box is open.
  w().activateWindow();
  Opt(w(), "optPivot")->Button(0)->click();
  EXPECT_EQ(state_.settings.PivotF, 0);

  // Its links go to the window's desktop.
  QTest::mouseClick(first->Label8, Qt::LeftButton);
  EXPECT_THAT(desktop_.opened_urls, ElementsAre(std::string(kHomePage)));

  QTest::mouseClick(first->cmdAbout, Qt::LeftButton);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
  EXPECT_EQ(w().About(), nullptr);

  Action(w(), "m9")->trigger();
  ASSERT_NE(w().About(), nullptr);
  EXPECT_TRUE(w().About()->objectName().isEmpty());
  EXPECT_TRUE(w().About()->isVisible());
  EXPECT_EQ(w().findChildren<FrmAbout*>().size(), 1);
}

}  // namespace
}  // namespace kestrin::app
