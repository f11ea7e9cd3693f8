// Shutdown, by closing the window or by "終了": the notice, the release of
// the Access objects and the clean-up of the spreadsheet application by
// Display, ExecF and XlNewF.
#include <QCloseEvent>

#include <gmock/gmock.h>

#include "tests/app/window_fixture.h"

namespace kestrin::app::testing {
namespace {

using ::testing::ElementsAre;

class ShutdownTest : public WindowTest {
 protected:
  void SetUp() override {
    ChooseFiles();
    access_app = std::make_shared<kestrin::testing::FakeAccessApplication>();
    state.source.AcApp = access_app;
  }
  bool ClosedAndQuit() {
    return !excel->display_alerts() && excel->quit() &&
           excel->calls() ==
               std::vector<std::string>{"DisplayAlerts=False", "Workbook.Close(False)", "Quit"};
  }
  bool Untouched() { return excel->calls().empty(); }

  std::shared_ptr<kestrin::testing::FakeAccessApplication> access_app;
};

TEST_F(ShutdownTest, CleansUpTheSpreadsheetByDisplayExecFAndXlNewF) {
  struct Case {
    std::int16_t display, exec, xl_new;
    bool clean;
  };
  for (const Case& c :
       {Case{1, 0, 0, true}, Case{1, 1, 0, true}, Case{1, 1, 1, true}, Case{0, 0, 0, true},
        Case{0, 0, 1, true}, Case{0, 1, 1, true}, Case{0, 1, 0, false}, Case{2, 0, 0, false},
        Case{2, 1, 1, false}, Case{-1, 1, 0, false}, Case{2, 0, 1, true}}) {
    ChooseFiles();
    excel->ClearCalls();
    state.settings.Display = c.display;
    state.ExecF = c.exec;
    state.workbook.XlNewF = c.xl_new;
    messages.shown.clear();
    window->m1z_Click();
    const std::string label = "Display " + std::to_string(c.display) + " ExecF " +
                              std::to_string(c.exec) + " XlNewF " + std::to_string(c.xl_new);
    EXPECT_THAT(messages.Prompts(), ElementsAre("終了します。")) << label;
    EXPECT_EQ(messages.shown.at(0).title, "Kestrin Ver 0.1");
    if (c.clean) {
      EXPECT_TRUE(ClosedAndQuit()) << label;
      EXPECT_TRUE(excel->active_workbook() == nullptr) << label;
    } else {
      EXPECT_TRUE(Untouched()) << label;
    }
    EXPECT_EQ(state.source.AcDb, nullptr);
    EXPECT_EQ(state.source.AcApp, nullptr);
    EXPECT_TRUE(window->Terminated());
  }
}

TEST_F(ShutdownTest, AnOfficeAnExportHasShownStaysOpenWithWhatTheUserDidInIt) {
  state.workbook.XlNewF = 1;  // the program's own office
  Opt(*window, "optPivot")->Select(0);
  window->cmdExec_Click();
  ASSERT_TRUE(messages.shown.empty());
  ASSERT_TRUE(excel->visible());
  excel->ClearCalls();
  window->m1z_Click();
  EXPECT_THAT(messages.Prompts(), ElementsAre("終了します。"));
  EXPECT_TRUE(Untouched());
  EXPECT_NE(excel->active_workbook(), nullptr);

  // An export that ended in the error report showed nothing: that office
  // is closed down as before.
  ChooseFiles();
  state.workbook.XlNewF = 1;
  excel->FailOn("Sheets(S).Activate", automation::AutomationError(9, "Subscript out of range"));
  messages.shown.clear();
  window->cmdExec_Click();
  ASSERT_EQ(messages.shown.size(), 1u);
  excel->ClearCalls();
  window->m1z_Click();
  EXPECT_TRUE(ClosedAndQuit());
}

TEST_F(ShutdownTest, EveryStepThatFailsIsSkipped) {
  excel->FailOn("Workbook.Close", automation::AutomationError(1004, "cannot close"));
  window->Form_Unload();
  EXPECT_TRUE(excel->quit());
  EXPECT_TRUE(window->Terminated());

  // Nothing chosen at all: no spreadsheet application to clean up.
  state.workbook.XlApp.reset();
  state.source = {};
  messages.shown.clear();
  window->m1z_Click();
  EXPECT_THAT(messages.Prompts(), ElementsAre("終了します。"));
}

TEST_F(ShutdownTest, ClosingTheWindowRunsShutdownOnceAndTheMenuPathDoesNotRunItAgain) {
  window->show();
  window->close();
  EXPECT_THAT(messages.Prompts(), ElementsAre("終了します。"));
  EXPECT_TRUE(ClosedAndQuit());
  EXPECT_FALSE(window->isVisible());

  ModuleState other;
  WatchingMessageBox other_messages;
  FrmKestrin second(other, {access, excel_server, other_messages, nullptr, ""});
  second.Form_Load();
  second.show();
  Action(second, "m1z")->trigger();
  EXPECT_THAT(other_messages.Prompts(), ElementsAre("終了します。"));
  EXPECT_FALSE(second.isVisible());
  EXPECT_TRUE(second.Terminated());
}

}  // namespace
}  // namespace kestrin::app::testing
