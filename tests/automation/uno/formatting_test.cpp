// Clearing, ruled lines, AutoFilter and fitting, checked in the saved file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <com/sun/star/util/NumberFormat.hpp>

#include "automation/failure.h"
#include "tests/support/japanese_text.h"
#include "tests/support/office_harness.h"

namespace kestrin::automation::uno::testing {
namespace {

using ::testing::ElementsAre;
using Kind = SavedBook::Kind;

constexpr int kThin = 26;

// Writes a heading and `records` rows of five fields at C5, as an export does.
void WriteBlock(XlApplication& app, int records) {
  for (int c = 0; c < 5; ++c) {
    app.Goto("r5c" + std::to_string(3 + c));
    app.ActiveCell()->SetValue(Value("Field" + std::to_string(c + 1)));
  }
  for (int r = 0; r < records; ++r) {
    for (int c = 0; c < 5; ++c) {
      app.Goto("r" + std::to_string(6 + r) + "c" + std::to_string(3 + c));
      app.ActiveCell()->SetValue(c == 2 ? Value("a rather long text value in the middle column")
                                        : Value(r * 5 + c));
    }
  }
}

void RuleLines(XlApplication& app, const std::string& block) {
  app.Range(block)->Select();
  app.Selection()->Borders(xl::kDiagonalDown)->SetLineStyle(xl::kLineStyleNone);
  app.Selection()->Borders(xl::kDiagonalUp)->SetLineStyle(xl::kLineStyleNone);
  for (int index : {7, 8, 9, 10, 11, 12}) {
    auto border = app.Selection()->Borders(index);
    border->SetLineStyle(xl::kContinuous);
    border->SetWeight(xl::kThin);
    border->SetColorIndex(xl::kColorIndexAutomatic);
  }
}

TEST(FormattingTest, FullTableTreatmentSurvivesSaving) {
  auto& app = *Office().app;
  fs::path path = NewPath("formatted", ".xls");
  std::vector<std::vector<Cell>> tall(40, std::vector<Cell>{Cell{std::string("x")}});
  MakeWorkbook(path, {{"Sheet1", {{"a"}}}, {"Data sheet", tall, 1500}});
  app.WorkbooksOpen(path.string());
  app.ActiveWorkbook()->Sheets()->Item("Data sheet")->Activate();
  WriteBlock(app, 10);
  RuleLines(app, "C5:G15");
  app.Range("C5:G15")->AutoFilter();
  app.Rows("5:15")->AutoFit();
  app.Columns("C:G")->AutoFit();
  app.Goto("r5c3");
  app.ActiveWorkbook()->Save();
  app.ActiveWorkbook()->Close(false);

  SavedBook saved(path);
  const std::string s = "Data sheet";
  // Lines: left, top, right, bottom, diagonals.
  EXPECT_THAT(saved.Lines(s, "C5"), ElementsAre(kThin, kThin, kThin, kThin, 0, 0));
  EXPECT_THAT(saved.Lines(s, "E10"), ElementsAre(kThin, kThin, kThin, kThin, 0, 0));
  EXPECT_THAT(saved.Lines(s, "G15"), ElementsAre(kThin, kThin, kThin, kThin, 0, 0));
  for (const char* outside : {"B5", "H10", "C3", "D17", "A1"}) {
    EXPECT_THAT(saved.Lines(s, outside), ElementsAre(0, 0, 0, 0, 0, 0)) << outside;
  }
  EXPECT_THAT(saved.Lines(s, "C4"), ElementsAre(0, 0, 0, 0, 0, 0));
  EXPECT_EQ(saved.AutoFilter(s), (Block{4, 2, 14, 6}));
  // Fitted rows shrink back from 15 mm; rows outside the span keep it.
  EXPECT_LT(saved.RowHeight(s, 4), 1000);
  EXPECT_LT(saved.RowHeight(s, 14), 1000);
  EXPECT_GE(saved.RowHeight(s, 3), 1400);
  EXPECT_GE(saved.RowHeight(s, 15), 1400);
  // The long texts widen column E well beyond the default.
  EXPECT_GT(saved.ColumnWidth(s, 4), 2 * saved.ColumnWidth(s, 9));
  EXPECT_EQ(saved.At(s, "E6").text, "a rather long text value in the middle column");
  EXPECT_EQ(saved.At(s, "G15").number, 49);
  EXPECT_EQ(saved.At("Sheet1", "A1").text, "a");
}

TEST(FormattingTest, AutoFilterReplacesAnotherOnTheSheetAndStaysOnWhenRepeated) {
  auto& app = *Office().app;
  fs::path path = CopyWorkbook("SimpleWithAutofilter.xls");
  std::optional<Block> before = SavedBook(path).AutoFilter("Sheet1");
  ASSERT_TRUE(before.has_value());
  app.WorkbooksOpen(path.string());
  app.ActiveWorkbook()->Sheets()->Item("Sheet1")->Activate();
  app.Goto("r30c10");
  app.ActiveCell()->SetValue(Value("head"));
  app.Goto("r31c10");
  app.ActiveCell()->SetValue(Value(1));
  app.Range("J30:J31")->AutoFilter();  // replaces the workbook's own filter
  app.ActiveWorkbook()->Save();
  EXPECT_EQ(SavedBook(path).AutoFilter("Sheet1"), (Block{29, 9, 30, 9}));
  app.Range("J30:J31")->AutoFilter();  // same block again, as a repeated export asks
  app.ActiveWorkbook()->Save();
  EXPECT_EQ(SavedBook(path).AutoFilter("Sheet1"), (Block{29, 9, 30, 9}));
  app.Range("J29:J31")->AutoFilter();  // a block that grew moves the filter with it
  app.ActiveWorkbook()->Save();
  EXPECT_EQ(SavedBook(path).AutoFilter("Sheet1"), (Block{28, 9, 30, 9}));
  app.Range("J30:J31")->AutoFilter();
  app.ActiveWorkbook()->Save();
  app.ActiveWorkbook()->Close(false);
  SavedBook saved(path);
  EXPECT_EQ(saved.AutoFilter("Sheet1"), (Block{29, 9, 30, 9}));
  EXPECT_THAT(saved.SheetNames(), ElementsAre("Sheet1", "Sheet2", "Sheet3"));
}

TEST(FormattingTest, ClearEmptiesValuesAndFormatsButKeepsChartsAndCellsOutside) {
  auto& app = *Office().app;
  fs::path path = CopyWorkbook("WithChart.xls");
  int charts = SavedBook(path).ChartCount("Sheet1");
  app.WorkbooksOpen(path.string());
  app.ActiveWorkbook()->Sheets()->Item("Sheet1")->Activate();
  app.Goto("r50c2");
  app.ActiveCell()->SetValue(Value(DateTime{45000}));
  app.Goto("r51c2");
  app.ActiveCell()->SetValue(Value("outside"));
  app.Range("B50:C50")->Select();
  app.Selection()->Borders(xl::kEdgeBottom)->SetLineStyle(xl::kContinuous);
  app.Range("A1:AZ50")->Clear();
  app.ActiveWorkbook()->Save();
  app.ActiveWorkbook()->Close(false);
  SavedBook saved(path);
  EXPECT_EQ(saved.At("Sheet1", "B50").kind, Kind::kEmpty);
  EXPECT_EQ(saved.At("Sheet1", "B50").format_type & css::util::NumberFormat::DATE, 0);
  EXPECT_THAT(saved.Lines("Sheet1", "B50"), ElementsAre(0, 0, 0, 0, 0, 0));
  EXPECT_EQ(saved.At("Sheet1", "A1").kind, Kind::kEmpty);
  EXPECT_EQ(saved.At("Sheet1", "B51").text, "outside");
  EXPECT_EQ(saved.ChartCount("Sheet1"), charts);
}

TEST(FormattingTest, DiagonalsAndSingleLinesFollowTheirIndexes) {
  auto& app = *Office().app;
  fs::path path = NewPath("diagonals", ".xls");
  MakeWorkbook(path, {{"Sheet1", {{"a"}}}});
  app.WorkbooksOpen(path.string());
  app.Range("B2:C3")->Select();
  app.Selection()->Borders(xl::kDiagonalDown)->SetLineStyle(xl::kContinuous);
  app.Range("E2")->Select();
  app.Selection()->Borders(xl::kDiagonalUp)->SetLineStyle(xl::kContinuous);
  app.Selection()->Borders(xl::kEdgeLeft)->SetWeight(xl::kThin);
  // Lines drawn and removed again leave nothing.
  app.Range("G2:H3")->Select();
  app.Selection()->Borders(xl::kInsideVertical)->SetLineStyle(xl::kContinuous);
  app.Selection()->Borders(xl::kInsideVertical)->SetLineStyle(xl::kLineStyleNone);
  EXPECT_THROW(app.Selection()->Borders(4), AutomationError);
  EXPECT_THROW(app.Selection()->Borders(7)->SetColorIndex(99), AutomationError);
  // Ruling a block takes its diagonals away and draws every side, all the
  // lines of the block going to the office together.
  app.Range("J2:K3")->Select();
  app.Selection()->Borders(xl::kDiagonalDown)->SetLineStyle(xl::kContinuous);
  app.Selection()->Borders(xl::kDiagonalUp)->SetLineStyle(xl::kContinuous);
  RuleLines(app, "J2:K3");
  // Diagonals the office has already drawn are taken away too.
  app.Range("M2")->Select();
  app.Selection()->Borders(xl::kDiagonalUp)->SetLineStyle(xl::kContinuous);
  app.Range("P2")->Select();
  app.Selection()->Borders(xl::kDiagonalDown)->SetLineStyle(xl::kContinuous);
  RuleLines(app, "M2:N3");
  RuleLines(app, "P2:P3");
  app.ActiveWorkbook()->Save();
  app.ActiveWorkbook()->Close(false);
  SavedBook saved(path);
  EXPECT_THAT(saved.Lines("Sheet1", "B2"), ElementsAre(0, 0, 0, 0, kThin, 0));
  EXPECT_THAT(saved.Lines("Sheet1", "C3"), ElementsAre(0, 0, 0, 0, kThin, 0));
  EXPECT_THAT(saved.Lines("Sheet1", "E2"), ElementsAre(kThin, 0, 0, 0, 0, kThin));
  EXPECT_THAT(saved.Lines("Sheet1", "G2"), ElementsAre(0, 0, 0, 0, 0, 0));
  EXPECT_THAT(saved.Lines("Sheet1", "H3"), ElementsAre(0, 0, 0, 0, 0, 0));
  for (const char* cell : {"J2", "K2", "J3", "K3", "M2", "N3", "P2", "P3"}) {
    EXPECT_THAT(saved.Lines("Sheet1", cell), ElementsAre(kThin, kThin, kThin, kThin, 0, 0)) << cell;
  }
}

TEST(FormattingTest, AutoFitNeedsWholeRowsOrColumns) {
  auto& app = *Office().app;
  fs::path path = NewPath("autofit", ".xls");
  MakeWorkbook(path, {{"Sheet1", {{"a"}}}});
  app.WorkbooksOpen(path.string());
  try {
    app.Range("A1:B2")->AutoFit();
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_EQ(e.number(), 1004);
  }
  app.ActiveWorkbook()->Close(false);
}

}  // namespace
}  // namespace kestrin::automation::uno::testing
