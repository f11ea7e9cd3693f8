// One office for several patterns: started once, each pattern's workbook
// closed as if the office had quit, and at the end ended or left alone.
#include "app/office_session.h"

#include <gtest/gtest.h>

#include "tests/doubles/fake_servers.h"

namespace kestrin::app {
namespace {

using testing::FakeExcel;
using testing::FakeXlServer;

class OfficeSessionTest : public ::testing::Test {
 protected:
  // The window's attach-or-start.
  static std::shared_ptr<automation::XlApplication> AttachOrStart(OfficeSession& session) {
    try {
      return session.GetObject();
    } catch (const automation::AutomationError&) {
      return session.CreateObject();
    }
  }
  // Makes the server's instances known to the test, with two workbook files.
  std::unique_ptr<FakeXlServer> Server() {
    auto server = std::make_unique<FakeXlServer>();
    server->make = [this] {
      started = std::make_shared<FakeExcel>();
      Files(*started);
      return started;
    };
    return server;
  }
  static void Files(FakeExcel& excel) {
    excel.AddFile("/w/a.xls", {"Sheet1"});
    excel.AddFile("/w/b.xls", {"Sheet1"});
  }
  // One pattern with Display 1: open, save, quit.
  static void SavingExport(OfficeSession& session, const std::string& path) {
    auto XlApp = AttachOrStart(session);
    XlApp->WorkbooksOpen(path);
    XlApp->SetDisplayAlerts(false);
    XlApp->ActiveWorkbook()->Save();
    XlApp->Quit();
    session.EndPattern();
  }

  std::shared_ptr<FakeExcel> started;
};

TEST_F(OfficeSessionTest, SeveralSavingExportsStartTheOfficeOnceAndEndItAtTheEnd) {
  auto server = Server();
  FakeXlServer& real = *server;
  OfficeSession session(std::move(server), /*office_on_screen=*/false);
  SavingExport(session, "/w/a.xls");
  SavingExport(session, "/w/b.xls");
  SavingExport(session, "/w/a.xls");
  EXPECT_EQ(real.created, 1);
  EXPECT_TRUE(session.started_office());
  ASSERT_TRUE(started);
  EXPECT_FALSE(started->quit());
  EXPECT_EQ(started->active_workbook(), nullptr);  // each pattern closed its own
  session.Finish();
  EXPECT_TRUE(started->quit());
}

TEST_F(OfficeSessionTest, WithoutAScreenAWorkbookLeftOpenIsClosedUnsavedAfterItsPattern) {
  OfficeSession session(Server(), false);
  auto XlApp = AttachOrStart(session);
  XlApp->WorkbooksOpen("/w/a.xls");
  XlApp->Range("A1")->SetValue(automation::Value(1.0));
  session.EndPattern();
  EXPECT_EQ(started->active_workbook(), nullptr);
  // The next pattern opens the same file afresh.
  auto next = AttachOrStart(session);
  next->WorkbooksOpen("/w/a.xls");
  EXPECT_NE(started->active_workbook(), nullptr);
  session.Finish();
  EXPECT_TRUE(started->quit());
}

TEST_F(OfficeSessionTest, AnOfficeAttachedToIsLeftAlone) {
  auto server = Server();
  auto running = std::make_shared<FakeExcel>();
  Files(*running);
  running->OpenForTest("/w/b.xls");  // the user's own workbook
  server->running = running;
  FakeXlServer& real = *server;
  {
    OfficeSession session(std::move(server), false);
    auto XlApp = AttachOrStart(session);
    XlApp->WorkbooksOpen("/w/a.xls");
    session.EndPattern();
    EXPECT_FALSE(session.started_office());
  }  // destruction finishes the session
  EXPECT_EQ(real.created, 0);
  EXPECT_FALSE(running->quit());
  ASSERT_NE(running->active_workbook(), nullptr);
  EXPECT_EQ(running->active_workbook()->path, "/w/a.xls");
}

TEST_F(OfficeSessionTest, OnAScreenAShownWorkbookStaysWithItsOffice) {
  OfficeSession session(Server(), /*office_on_screen=*/true);
  auto XlApp = AttachOrStart(session);
  XlApp->WorkbooksOpen("/w/a.xls");
  XlApp->SetVisible(true);
  session.EndPattern();
  session.Finish();
  EXPECT_FALSE(started->quit());
  EXPECT_NE(started->active_workbook(), nullptr);

  // Nothing shown: the office would stay hidden for ever, so it is ended.
  OfficeSession hidden(Server(), true);
  AttachOrStart(hidden)->WorkbooksOpen("/w/a.xls");
  hidden.EndPattern();
  hidden.Finish();
  EXPECT_TRUE(started->quit());
}

TEST_F(OfficeSessionTest, AQuitApplicationRefusesFurtherCalls) {
  OfficeSession session(Server(), false);
  auto XlApp = AttachOrStart(session);
  XlApp->WorkbooksOpen("/w/a.xls");
  XlApp->Quit();
  try {
    XlApp->ActiveWorkbook();
    ADD_FAILURE();
  } catch (const automation::AutomationError& e) {
    EXPECT_EQ(e.number(), automation::errnum::kObjectNotSet);
  }
  EXPECT_FALSE(started->quit());
}

}  // namespace
}  // namespace kestrin::app
