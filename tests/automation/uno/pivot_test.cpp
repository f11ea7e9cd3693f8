// Pivot tables made through PivotTableWizard, AddFields and PivotFields.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <com/sun/star/sheet/GeneralFunction.hpp>

#include "automation/failure.h"
#include "tests/support/japanese_text.h"
#include "tests/support/office_harness.h"

namespace kestrin::automation::uno::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Region, Shop, Year, Quarter, Amount, Note: 12 records under a heading.
std::vector<std::vector<Cell>> Sales() {
  std::vector<std::vector<Cell>> rows = {{"Region", "Shop", "Year", "Quarter", "Amount", "Note"}};
  const char* regions[] = {"East", "West", "North"};
  for (int i = 0; i < 12; ++i) {
    rows.push_back({std::string(regions[i % 3]), "Shop" + std::to_string(i % 2),
                    static_cast<double>(2020 + i % 2), "Q" + std::to_string(1 + i % 4),
                    static_cast<double>(100 + i),
                    i % 5 == 0 ? std::string("") : "n" + std::to_string(i)});
  }
  return rows;
}

std::string Source(const std::string& sheet) { return sheet + "!A1:F13"; }

TEST(PivotTest, OneRowAndOneColumnFieldSummingANumberField) {
  auto& app = *Office().app;
  fs::path path = NewPath("pivot1", ".xls");
  MakeWorkbook(path, {{"Sheet1", {{"first"}}}, {"Sales data", Sales()}, {"Sheet3", {}}});
  app.WorkbooksOpen(path.string());
  app.ActiveWorkbook()->Sheets()->Item("Sales data")->Activate();
  app.ActiveSheet()->PivotTableWizard(xl::kDatabase, Source("Sales data"), "", "SalesPivot");
  EXPECT_EQ(app.ActiveSheet()->Name(), "Sheet4");
  app.ActiveSheet()
      ->PivotTables("SalesPivot")
      ->AddFields(std::string("Region"), std::string("Year"));
  app.ActiveSheet()
      ->PivotTables("SalesPivot")
      ->PivotFields("Amount")
      ->SetOrientation(xl::kDataField);
  app.Goto("r1c1");
  app.ActiveWorkbook()->Save();
  app.ActiveWorkbook()->Close(false);

  SavedBook saved(path);
  EXPECT_THAT(saved.SheetNames(), ElementsAre("Sheet1", "Sheet4", "Sales data", "Sheet3"));
  EXPECT_EQ(saved.ActiveSheetName(), "Sheet4");
  auto pivots = saved.Pivots("Sheet4");
  ASSERT_EQ(pivots.count("SalesPivot"), 1u);
  const auto& p = pivots["SalesPivot"];
  EXPECT_THAT(p.rows, ElementsAre("Region"));
  EXPECT_THAT(p.columns, ElementsAre("Year"));
  EXPECT_THAT(p.data, ElementsAre(HasSubstr("Amount")));
  EXPECT_THAT(p.data_functions, ElementsAre(css::sheet::GeneralFunction_SUM));
  EXPECT_EQ(p.output, (CellPos{2, 0}));  // A3
  EXPECT_EQ(p.source_sheet, "Sales data");
  EXPECT_EQ(p.source, (Block{0, 0, 12, 5}));
  // The grand total of Amount: 100 + ... + 111.
  bool found_total = false;
  for (int r = 2; r < 15 && !found_total; ++r) {
    for (int c = 0; c < 6; ++c) {
      auto cell = saved.At("Sheet4", ColumnLetters(c) + std::to_string(r + 1));
      found_total |= cell.kind == SavedBook::Kind::kNumber && cell.number == 1266;
    }
  }
  EXPECT_TRUE(found_total);
  EXPECT_EQ(saved.At("Sales data", "E13").number, 111);
  EXPECT_EQ(saved.At("Sheet1", "A1").text, "first");
}

TEST(PivotTest, TwoRowAndTwoColumnFieldsCountingATextField) {
  auto& app = *Office().app;
  fs::path path = NewPath("pivot2", ".xlsx");
  MakeWorkbook(path, {{"売上", Sales()}});
  app.WorkbooksOpen(path.string());
  app.ActiveWorkbook()->Sheets()->Item("売上")->Activate();
  app.ActiveSheet()->PivotTableWizard(xl::kDatabase, Source("売上"), "", "集計");
  app.ActiveSheet()->PivotTables("集計")->AddFields(std::vector<std::string>{"Region", "Shop"},
                                                    std::vector<std::string>{"Year", "Quarter"});
  app.ActiveSheet()->PivotTables("集計")->PivotFields("Note")->SetOrientation(xl::kDataField);
  app.ActiveWorkbook()->Save();
  app.ActiveWorkbook()->Close(false);

  SavedBook saved(path);
  EXPECT_THAT(saved.SheetNames(), ElementsAre("Sheet2", "売上"));
  EXPECT_EQ(saved.ActiveSheetName(), "Sheet2");
  auto pivots = saved.Pivots("Sheet2");
  ASSERT_EQ(pivots.count("集計"), 1u);
  EXPECT_THAT(pivots["集計"].rows, ElementsAre("Region", "Shop"));
  EXPECT_THAT(pivots["集計"].columns, ElementsAre("Year", "Quarter"));
  EXPECT_THAT(pivots["集計"].data_functions, ElementsAre(css::sheet::GeneralFunction_COUNT));
}

TEST(PivotTest, MixedRowAndColumnListsAndASecondPivotTable) {
  auto& app = *Office().app;
  fs::path path = NewPath("pivot3", ".xls");
  // Sheet names Sheet1..Sheet2 and Sheet4 taken: new sheets become Sheet5, Sheet6.
  MakeWorkbook(path, {{"Sheet1", {}}, {"Sheet2", Sales()}, {"sheet4", {}}});
  app.WorkbooksOpen(path.string());
  app.ActiveWorkbook()->Sheets()->Item("Sheet2")->Activate();
  app.ActiveSheet()->PivotTableWizard(xl::kDatabase, Source("Sheet2"), "", "P1");
  EXPECT_EQ(app.ActiveSheet()->Name(), "Sheet5");
  app.ActiveSheet()->PivotTables("P1")->AddFields(std::vector<std::string>{"Region", "Shop"},
                                                  std::string("Year"));
  app.ActiveSheet()->PivotTables("P1")->PivotFields("Year")->SetOrientation(xl::kDataField);
  app.ActiveWorkbook()->Sheets()->Item("Sheet2")->Activate();
  app.ActiveSheet()->PivotTableWizard(xl::kDatabase, Source("Sheet2"), "", "P2");
  EXPECT_EQ(app.ActiveSheet()->Name(), "Sheet6");
  app.ActiveSheet()->PivotTables("P2")->AddFields(std::string("Quarter"),
                                                  std::vector<std::string>{"Region", "Shop"});
  app.ActiveWorkbook()->Save();
  app.ActiveWorkbook()->Close(false);
  SavedBook saved(path);
  EXPECT_THAT(saved.SheetNames(), ElementsAre("Sheet1", "Sheet5", "Sheet6", "Sheet2", "sheet4"));
  EXPECT_EQ(saved.ActiveSheetName(), "Sheet6");
  auto p1 = saved.Pivots("Sheet5")["P1"];
  EXPECT_THAT(p1.rows, ElementsAre("Region", "Shop"));
  EXPECT_THAT(p1.columns, ElementsAre("Year"));
  auto p2 = saved.Pivots("Sheet6")["P2"];
  EXPECT_THAT(p2.rows, ElementsAre("Quarter"));
  EXPECT_THAT(p2.columns, ElementsAre("Region", "Shop"));
}

// As a repeated export makes them: one name, a table on each new sheet, each
// with its own fields.
TEST(PivotTest, TheSameNameOnEverySheetItIsMadeOn) {
  auto& app = *Office().app;
  fs::path path = NewPath("pivot-again", ".xlsx");
  MakeWorkbook(path, {{"Data", Sales()}});
  app.WorkbooksOpen(path.string());
  for (const char* row : {"Region", "Shop"}) {
    app.ActiveWorkbook()->Sheets()->Item("Data")->Activate();
    app.ActiveSheet()->PivotTableWizard(xl::kDatabase, Source("Data"), "", "集計");
    app.ActiveSheet()->PivotTables("集計")->AddFields(std::string(row), std::string("Year"));
    app.ActiveSheet()->PivotTables("集計")->PivotFields("Amount")->SetOrientation(xl::kDataField);
  }
  app.ActiveWorkbook()->Save();
  app.ActiveWorkbook()->Close(false);
  // The file names both tables so. (Reading an .xlsx, the office renames a
  // table whose name another sheet's table has, as it names a new one.)
  for (const char* part : {"xl/pivotTables/pivotTable1.xml", "xl/pivotTables/pivotTable2.xml"}) {
    EXPECT_THAT(ZipMember(path, part), HasSubstr("name=\"集計\"")) << part;
  }
  SavedBook saved(path);
  EXPECT_THAT(saved.SheetNames(), ElementsAre("Sheet2", "Sheet3", "Data"));
  std::vector<std::string> rows;
  for (const char* sheet : {"Sheet2", "Sheet3"}) {
    auto pivots = saved.Pivots(sheet);
    ASSERT_EQ(pivots.size(), 1u) << sheet;
    const auto& p = pivots.begin()->second;
    rows.insert(rows.end(), p.rows.begin(), p.rows.end());
    EXPECT_THAT(p.columns, ElementsAre("Year"));
    EXPECT_THAT(p.data_functions, ElementsAre(css::sheet::GeneralFunction_SUM));
  }
  EXPECT_THAT(rows, ElementsAre("Region", "Shop"));
}

// Captions as a Japanese spreadsheet writes them, saved in the file; the
// layout and the numbers are the office's own.
TEST(PivotTest, JapaneseDataFieldAndGrandTotalCaptions) {
  std::vector<std::vector<Cell>> rows = {{"地域", "年", "金額", "名前"}};
  for (int i = 0; i < 6; ++i) {
    rows.push_back({std::string(i % 2 ? "東" : "西"), static_cast<double>(2020 + i % 3),
                    static_cast<double>(100 + i), "n" + std::to_string(i)});
  }
  for (const char* ext : {".xls", ".xlsx"}) {
    SCOPED_TRACE(ext);
    auto& app = *Office().app;
    fs::path path = NewPath("pivot-ja", ext);
    MakeWorkbook(path, {{"Data", rows}});
    app.WorkbooksOpen(path.string());
    app.ActiveSheet()->PivotTableWizard(xl::kDatabase, "Data!A1:D7", "", "Sum");
    app.ActiveSheet()->PivotTables("Sum")->AddFields(std::string("地域"), std::string("年"));
    app.ActiveSheet()->PivotTables("Sum")->PivotFields("金額")->SetOrientation(xl::kDataField);
    app.ActiveWorkbook()->Sheets()->Item("Data")->Activate();
    app.ActiveSheet()->PivotTableWizard(xl::kDatabase, "Data!A1:D7", "", "Count");
    app.ActiveSheet()->PivotTables("Count")->AddFields(std::string("年"), std::string("地域"));
    app.ActiveSheet()->PivotTables("Count")->PivotFields("名前")->SetOrientation(xl::kDataField);
    app.ActiveWorkbook()->Save();
    app.ActiveWorkbook()->Close(false);

    SavedBook saved(path);
    ASSERT_THAT(saved.SheetNames(), ElementsAre("Sheet2", "Sheet3", "Data"));
    EXPECT_THAT(saved.Pivots("Sheet2")["Sum"].data, ElementsAre("合計 / 金額"));
    EXPECT_THAT(saved.Pivots("Sheet3")["Count"].data, ElementsAre("データの個数 / 名前"));
    auto text = [&](const char* sheet, const char* a1) { return saved.At(sheet, a1).shown; };
    EXPECT_EQ(text("Sheet2", "A3"), "合計 / 金額");
    EXPECT_EQ(text("Sheet2", "B3"), "年");
    EXPECT_EQ(text("Sheet2", "A4"), "地域");
    // In Japanese order (西 before 東), whatever the environment.
    EXPECT_EQ(text("Sheet2", "A5"), "西");
    EXPECT_EQ(text("Sheet2", "A6"), "東");
    EXPECT_EQ(saved.At("Sheet2", "B5").number, 100);  // 西 2020
    EXPECT_EQ(saved.At("Sheet2", "E7").number, 615);
    EXPECT_EQ(text("Sheet3", "A3"), "データの個数 / 名前");
    EXPECT_EQ(saved.At("Sheet3", "D8").number, 6);
    if (std::string(ext) == ".xls") {
      EXPECT_EQ(text("Sheet2", "E4"), "総計");
      EXPECT_EQ(text("Sheet2", "A7"), "総計");
      EXPECT_EQ(text("Sheet3", "A8"), "総計");
    } else {
      // Reopened, the office lays an .xlsx pivot table out afresh with its
      // own captions: look at the cells' texts in the file itself.
      std::string strings = ZipMember(path, "xl/sharedStrings.xml");
      EXPECT_NE(strings.find(">総計</t>"), std::string::npos) << strings;
      EXPECT_EQ(strings.find("Total Result"), std::string::npos) << strings;
    }
  }
}

TEST(PivotTest, RefusalsAreErrorsThatLeaveTheWorkbookAsItWas) {
  auto& app = *Office().app;
  fs::path path = NewPath("pivot-errors", ".xls");
  MakeWorkbook(path, {{"Data", Sales()}});
  app.WorkbooksOpen(path.string());
  app.ActiveSheet()->PivotTableWizard(xl::kDatabase, "Data!A1:F13", "", "Taken");
  auto expect_1004 = [](auto&& call, const std::string& words) {
    try {
      call();
      ADD_FAILURE() << "no error for " << words;
    } catch (const AutomationError& e) {
      EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
      EXPECT_EQ(e.number(), 1004);
      EXPECT_THAT(e.description(), HasSubstr(words));
    }
  };
  auto table = app.ActiveSheet()->PivotTables("Taken");
  expect_1004([&] { table->AddFields(std::string("Region"), std::string("Nope")); }, "Nope");
  expect_1004([&] { table->PivotFields("Missing field"); }, "Missing field");
  expect_1004([&] { app.ActiveSheet()->PivotTables("Other"); }, "Other");
  app.ActiveWorkbook()->Sheets()->Item("Data")->Activate();
  int sheets = app.ActiveWorkbook()->Sheets()->Count();
  // Only the sheet that receives the table must not have the name already.
  expect_1004([&] { app.ActiveSheet()->PivotTableWizard(1, "Data!A1:F13", "Sheet2!H3", "Taken"); },
              "Taken");
  expect_1004([&] { app.ActiveSheet()->PivotTableWizard(1, "Gone!A1:F13", "", "New"); }, "Gone");
  expect_1004([&] { app.ActiveSheet()->PivotTableWizard(1, "Data A1:F13", "", "New"); },
              "Data A1:F13");
  EXPECT_EQ(app.ActiveWorkbook()->Sheets()->Count(), sheets);
  EXPECT_EQ(app.ActiveSheet()->Name(), "Data");
  app.ActiveWorkbook()->Close(false);
}

}  // namespace
}  // namespace kestrin::automation::uno::testing
