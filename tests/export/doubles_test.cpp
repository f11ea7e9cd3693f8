// The spreadsheet double must reject what a real spreadsheet rejects, or
// engine tests would pass on addresses that fail for real.
#include <gtest/gtest.h>

#include "automation/failure.h"
#include "tests/doubles/fake_excel.h"

namespace kestrin::testing {
namespace {

TEST(FakeExcelAddresses, ParsesTheFormsTheProgramUsesAndRejectsTheRest) {
  EXPECT_EQ(ParseR1C1("r3c2"), (CellPos{3, 2}));
  EXPECT_EQ(ParseA1("AZ7").first, (CellPos{7, 52}));
  const CellBlock b = ParseA1("F103:B3");
  EXPECT_EQ(b.first, (CellPos{3, 2}));
  EXPECT_EQ(b.last, (CellPos{103, 6}));
  EXPECT_EQ(ParseRowSpan("1:101").last.row, 101);
  EXPECT_EQ(ParseColumnSpan("C:G").last.col, 7);
  for (const char* bad : {"R3C2", "r0c1", "r3", "r3c", "r3c2x", "rc", "r-1c2", "r65537c1"}) {
    EXPECT_THROW(ParseR1C1(bad), automation::AutomationError) << bad;
  }
  for (const char* bad : {"", "3B", "B0", "B3:", ":B3", "b3", "B3:F"}) {
    EXPECT_THROW(ParseA1(bad), automation::AutomationError) << bad;
  }
  EXPECT_THROW(ParseRowSpan("0:5"), automation::AutomationError);
  EXPECT_THROW(ParseColumnSpan("C:7"), automation::AutomationError);
}

TEST(FakeExcelCalls, NothingAnswersAfterQuitAndNothingWithoutAWorkbook) {
  FakeExcel excel;
  EXPECT_THROW(excel.ActiveWorkbook(), automation::AutomationError);
  EXPECT_THROW(excel.Goto("r1c1"), automation::AutomationError);
  excel.AddFile("/a.xls", {"S"});
  excel.WorkbooksOpen("/a.xls");
  excel.Goto("r2c2");
  excel.ActiveCell()->SetValue(Value(1));
  EXPECT_EQ(*excel.active_workbook()->Sheet("S").Cell(2, 2), Value(1));
  excel.Quit();
  EXPECT_THROW(excel.Goto("r1c1"), automation::AutomationError);
  EXPECT_THROW(excel.ActiveWorkbook(), automation::AutomationError);
}

}  // namespace
}  // namespace kestrin::testing
