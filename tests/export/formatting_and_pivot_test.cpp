#include <gmock/gmock.h>

#include "tests/export/export_fixture.h"

namespace kestrin::testing {
namespace {

using ::testing::ElementsAre;

class FormattingTest : public ExportTest {
 protected:
  FormattingTest() {
    // Five fields, ten records, block at C5 with a heading: C5:G15.
    std::vector<std::vector<Value>> rows;
    for (int i = 1; i <= 10; ++i) {
      rows.push_back({i, "k" + std::to_string(i % 3), "c" + std::to_string(i % 2),
                      "d" + std::to_string(i % 4), i * 1.5});
    }
    db.AddTable("T", {"ID", "Key", "Col", "Sub", "Val"}, rows);
    s.StartRow = 5;
    s.StartCol = 3;
  }
};

TEST_F(FormattingTest, AllTreatmentsInOrderWithExcelsConstants) {
  s.Line = s.Filter = s.FitRow = s.FitCol = 1;
  Run();
  ASSERT_TRUE(box.shown.empty()) << box.shown[0].prompt;

  std::vector<std::string> after_records;
  bool started = false;
  for (const auto& c : excel->calls()) {
    if (c == "Range(C5:G15).Select") started = true;
    if (started) after_records.push_back(c);
  }
  std::vector<std::string> expected = {
      "Range(C5:G15).Select",
      "Selection.Borders(5)",
      "Selection.Borders(5).LineStyle=-4142",
      "Selection.Borders(6)",
      "Selection.Borders(6).LineStyle=-4142",
  };
  for (int i : {7, 8, 9, 10, 11, 12}) {
    const std::string b = "Selection.Borders(" + std::to_string(i) + ")";
    expected.insert(expected.end(),
                    {b, b + ".LineStyle=1", b + ".Weight=2", b + ".ColorIndex=-4105"});
  }
  expected.insert(expected.end(), {"Range(C5:G15).AutoFilter", "Rows(5:15).AutoFit",
                                   "Columns(C:G).AutoFit", "Goto(r5c3)", "Visible=True"});
  EXPECT_EQ(after_records, expected);

  const FakeSheet& sh = sheet();
  EXPECT_EQ(sh.autofilter, "C5:G15");
  EXPECT_THAT(sh.fitted_rows, ElementsAre("5:15"));
  EXPECT_THAT(sh.fitted_columns, ElementsAre("C:G"));
  const BorderState thin{1, 2, -4105};
  for (int i = 7; i <= 12; ++i) EXPECT_EQ(sh.borders.at({"C5:G15", i}), thin) << i;
  EXPECT_EQ(sh.borders.at({"C5:G15", 5}).line_style, -4142);
}

TEST_F(FormattingTest, EachTreatmentRunsOnlyForItsFlag) {
  // Table formatting off: only cleared and written cells.
  Run();
  EXPECT_FALSE(CalledWithPrefix("Selection"));
  EXPECT_FALSE(CalledWithPrefix("Rows("));
  EXPECT_FALSE(CalledWithPrefix("Columns("));
  EXPECT_FALSE(sheet().autofilter.has_value());

  // Only column widths: no selection change, no borders.
  excel->ClearCalls();
  s.FitCol = 1;
  Run();
  EXPECT_FALSE(CalledWithPrefix("Range(C5:G15).Select"));
  EXPECT_TRUE(sheet().borders.empty());
  EXPECT_THAT(CallsWithPrefix("Columns("), ElementsAre("Columns(C:G).AutoFit"));

  // A flag must be exactly 1.
  excel->ClearCalls();
  s.FitCol = 2;
  s.Filter = -1;
  Run();
  EXPECT_FALSE(CalledWithPrefix("Columns("));
  EXPECT_FALSE(CalledWithPrefix("Range(C5:G15).AutoFilter"));

  // No heading: fitted rows start at StartRow.
  excel->ClearCalls();
  s.Midasi = 0;
  s.FitRow = 1;
  Run();
  EXPECT_THAT(CallsWithPrefix("Rows("), ElementsAre("Rows(5:14).AutoFit"));
}

TEST_F(FormattingTest, ARefusalStopsLaterTreatmentsAndThePivot) {
  s.Line = s.Filter = s.FitRow = s.FitCol = 1;
  s.PvtName = "P";
  s.PvtRow1 = "Key";
  s.PvtCol1 = "Col";
  s.PvtVal = "Val";
  excel->FailOn("Range(C5:G15).AutoFilter", automation::AutomationError(1004, "no filter"));
  Run();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0].prompt, "エラーNO:1004\r\nno filter");
  EXPECT_FALSE(sheet().borders.empty()) << "ruled lines done before the failure stay";
  EXPECT_FALSE(CalledWithPrefix("Rows("));
  EXPECT_FALSE(CalledWithPrefix("PivotTableWizard"));
  EXPECT_FALSE(excel->visible());
}

TEST_F(FormattingTest, PivotFieldShapesForTheFourCombinations) {
  struct Case {
    std::string row2, col2, add_fields;
  };
  const Case cases[] = {
      {"Sub", "ID", "PivotTables(P).AddFields([Key,Sub],[Col,ID])"},
      {"Sub", "0", "PivotTables(P).AddFields([Key,Sub],Col)"},
      {"0", "ID", "PivotTables(P).AddFields(Key,[Col,ID])"},
      {"0", "0", "PivotTables(P).AddFields(Key,Col)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.add_fields);
    excel->AddFile("/books/p.xls", {"Sheet1", "Sheet2"});
    workbook = &excel->OpenForTest("/books/p.xls");
    excel->ClearCalls();
    s.PvtName = "P";
    s.PvtRow1 = "Key";
    s.PvtCol1 = "Col";
    s.PvtRow2 = c.row2;
    s.PvtCol2 = c.col2;
    s.PvtVal = "Val";
    Run();
    ASSERT_TRUE(box.shown.empty()) << box.shown[0].prompt;
    EXPECT_THAT(CallsWithPrefix("Pivot"),
                ElementsAre("PivotTableWizard(1,Sheet1!C5:G15,,P)", "PivotTables(P)", c.add_fields,
                            "PivotTables(P)", "PivotTables(P).PivotFields(Val)",
                            "PivotFields(Val).Orientation=4"));
    // The new sheet stands before the source sheet and is active; the
    // finish selects its A1.
    ASSERT_EQ(workbook->sheets.size(), 3u);
    EXPECT_EQ(workbook->sheets[0].name, "Sheet3");
    EXPECT_EQ(workbook->active_sheet, 0);
    EXPECT_THAT(workbook->sheets[0].pivot_tables.at(0).data_fields, ElementsAre("Val"));
    EXPECT_EQ(excel->calls().back(), "Visible=True");
    EXPECT_EQ(excel->calls()[excel->calls().size() - 2], "Goto(r1c1)");
  }
}

TEST_F(FormattingTest, PivotSourceNamesTheSheetUnquotedAndCoversEveryRecord) {
  excel->AddFile("/books/spaced.xls", {"月次 データ"});
  workbook = &excel->OpenForTest("/books/spaced.xls");
  s.ShtName = "月次 データ";
  s.KaiGyo = 2;
  s.PvtName = "集計";
  s.PvtRow1 = "Key";
  s.PvtCol1 = "Col";
  s.PvtVal = "ID";
  Run();
  ASSERT_TRUE(box.shown.empty()) << box.shown[0].prompt;
  // Ten records two rows apart under a heading at row 5: rows 6..24.
  EXPECT_TRUE(Called("PivotTableWizard(1,月次 データ!C5:G24,,集計)"));
}

TEST_F(FormattingTest, PivotRefusalsAreReportedAndEarlierStepsStay) {
  s.PvtName = "P";
  s.PvtRow1 = "Key";
  s.PvtCol1 = "Col";
  s.PvtVal = "NoSuchField";
  s.Filter = 1;
  Run();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_THAT(box.shown[0].prompt, ::testing::StartsWith("エラーNO:1004\r\n"));
  // The pivot table remains, with its row and column fields but no data field.
  const auto& pt = workbook->sheets[0].pivot_tables.at(0);
  EXPECT_TRUE(pt.row_fields.has_value());
  EXPECT_TRUE(pt.data_fields.empty());
  EXPECT_FALSE(excel->visible());

  // The same name again, as every repeated run of a pattern has it: the new
  // table gets a sheet of its own, where the name is free.
  box.shown.clear();
  s.PvtVal = "Val";
  s.ShtName = "Sheet1";
  Run();
  EXPECT_TRUE(box.shown.empty()) << box.shown[0].prompt;
  int named_p = 0;
  for (const auto& sh : workbook->sheets) {
    for (const auto& pt : sh.pivot_tables) named_p += pt.name == "P";
  }
  EXPECT_EQ(named_p, 2);

  // The single character 0 means no pivot table: the finish selects the block.
  box.shown.clear();
  excel->ClearCalls();
  s.PvtName = "0";
  Run();
  EXPECT_TRUE(box.shown.empty());
  EXPECT_FALSE(CalledWithPrefix("Pivot"));
  EXPECT_EQ(excel->calls()[excel->calls().size() - 2], "Goto(r5c3)");
}

}  // namespace
}  // namespace kestrin::testing
