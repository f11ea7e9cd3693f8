// The workbook side over the real spreadsheet engine: the sheet list of
// workbooks made by Excel and by the test, and the close, attach-or-start
// and open steps against the binary's shared office and an office of the
// test's own.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "automation/failure.h"
#include "tests/support/office_harness.h"
#include "workbook/open_workbook.h"

namespace kestrin::workbook {
namespace {

using namespace automation::uno::testing;
using Names = std::vector<std::string>;

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

TEST(SheetNames, EverySheetInSheetOrderChartSheetsIncluded) {
  automation::XlApplication& app = *Office().app;
  const fs::path made = NewPath("made", ".xls");
  MakeWorkbook(made, {{"売上データ", {{"a"}}}, {"Sheet2", {}}, {"集計・表", {{1.0}}}});
  struct Case {
    fs::path path;
    Names names;
  };
  for (const Case& c : {
           Case{CopyWorkbook("chart_sheet.xlsx"), {"Sheet1", "Sheet2", "Chart1", "Sheet3"}},
           Case{CopyWorkbook("44010-SingleChart.xls"), {"auto_1", "Graph2"}},
           Case{CopyWorkbook("unicodeSheetName.xlsx"), {"Sheet・1"}},
           Case{made, {"売上データ", "Sheet2", "集計・表"}},
       }) {
    SCOPED_TRACE(c.path.string());
    app.WorkbooksOpen(c.path.string());
    EXPECT_EQ(SheetNames(app), c.names);
    app.ActiveWorkbook()->Close(false);
  }
}

TEST(OpenSteps, AttachingToARunningOfficeNeverClosesItsWorkbook) {
  auto server = automation::uno::MakeUnoXlServer(Office().options);
  WorkbookState state;
  AttachOrStartExcel(state, *server);
  ASSERT_TRUE(state.XlApp);
  EXPECT_EQ(state.XlNewF, 0);
  const fs::path first = CopyWorkbook("WithChart.xls");
  OpenWorkbook(state, first.string());
  CloseOwnWorkbook(state, true);  // not the program's own: left open
  EXPECT_TRUE(state.XlApp);
  EXPECT_EQ(SheetNames(*state.XlApp), (Names{"Sheet1", "Sheet2", "Sheet3"}));

  // A second choice opens beside the first, which stays open.
  OpenWorkbook(state, CopyWorkbook("unicodeSheetName.xlsx").string());
  EXPECT_EQ(SheetNames(*state.XlApp), (Names{"Sheet・1"}));
  EXPECT_TRUE(CloseInOffice(first));
  state.XlApp->ActiveWorkbook()->Close(false);

  for (const std::string& bad : {std::string(), (RunDir() / "no-such.xls").string()}) {
    EXPECT_THROW(OpenWorkbook(state, bad), automation::AutomationError) << bad;
  }
  WorkbookState empty;
  EXPECT_THROW(OpenWorkbook(empty, first.string()), automation::AutomationError);
}

TEST(OpenSteps, TheProgramsOwnOfficeIsClosedWithoutSavingAndQuit) {
  TempFolder dir;
  auto server = automation::uno::MakeUnoXlServer(OwnOfficeOptions(dir.path(), "own"));
  WorkbookState state;
  AttachOrStartExcel(state, *server);  // nothing answers on the pipe: started
  ASSERT_TRUE(state.XlApp);
  ASSERT_EQ(state.XlNewF, 1);
  auto own = state.XlApp;
  // Attaching again finds the instance the program holds and keeps its
  // reference: letting the starting reference go would end that office.
  AttachOrStartExcel(state, *server);
  EXPECT_EQ(state.XlApp, own);
  own.reset();
  own = state.XlApp;

  // The user closed the workbook, then the whole office: each time the
  // close skips what is gone and a new choice opens the next workbook.
  const fs::path path = CopyWorkbook("SimpleWithAutofilter.xls");
  const std::string before = Bytes(path);
  OpenWorkbook(state, path.string());
  state.XlApp->ActiveWorkbook()->Close(false);
  CloseOwnWorkbook(state, true);
  EXPECT_FALSE(state.XlApp);
  AttachOrStartExcel(state, *server);
  ASSERT_TRUE(state.XlApp);
  OpenWorkbook(state, path.string());
  state.XlApp->Quit();
  CloseOwnWorkbook(state, true);
  EXPECT_FALSE(state.XlApp);
  AttachOrStartExcel(state, *server);
  ASSERT_TRUE(state.XlApp);
  own = state.XlApp;

  OpenWorkbook(state, path.string());
  state.XlApp->Goto("r1c1");
  state.XlApp->ActiveCell()->SetValue(automation::Value("changed"));
  CloseOwnWorkbook(state, false);  // nothing chosen yet: nothing closed
  ASSERT_EQ(state.XlApp, own);

  CloseOwnWorkbook(state, true);
  EXPECT_FALSE(state.XlApp);
  EXPECT_EQ(state.XlNewF, 1);
  EXPECT_EQ(Bytes(path), before);                                    // the change was discarded
  EXPECT_THROW(own->ActiveWorkbook(), automation::AutomationError);  // quit

  // The state an export with Display 1 leaves: the instance is gone. The
  // close step has nothing to do, and a new instance can be started.
  EXPECT_NO_THROW(CloseOwnWorkbook(state, true));
  AttachOrStartExcel(state, *server);
  ASSERT_TRUE(state.XlApp);
  OpenWorkbook(state, path.string());
  EXPECT_EQ(SheetNames(*state.XlApp), (Names{"Sheet1", "Sheet2", "Sheet3"}));
  CloseOwnWorkbook(state, true);
  EXPECT_FALSE(state.XlApp);
}

}  // namespace
}  // namespace kestrin::workbook
