// The export engine driving the office end to end: an in-memory database,
// a real workbook, formatting, a pivot table, saving and quitting.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include <com/sun/star/sheet/GeneralFunction.hpp>
#include <com/sun/star/util/NumberFormat.hpp>

#include "export/export_to_sheet.h"
#include "tests/doubles/fake_access.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/office_harness.h"

namespace kestrin::automation::uno::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ExportTest, ExportFormatsPivotsSavesAndLetsGo) {
  kestrin::testing::FakeDatabase db;
  std::vector<std::vector<Value>> rows;
  const char* regions[] = {"東", "West", "North"};
  for (int i = 0; i < 20; ++i) {
    rows.push_back({Value(regions[i % 3]), Value(2020 + i % 2), Value(10.5 * i),
                    Value(DateTime{45000.0 + i}), Value(i % 2 == 0),
                    Value("00" + std::to_string(i))});
  }
  db.AddTable("Sales", {"Region", "Year", "Amount", "Day", "Flag", "Code"}, rows);
  fs::path source = NewPath("source", ".mdb");
  std::ofstream(source) << "stand-in";
  fs::path book = NewPath("export", ".xls");
  MakeWorkbook(book, {{"Sheet1", {{"keep me"}}}, {"出力 先", {{"old"}}}, {"Sheet3", {}}});

  auto server = MakeUnoXlServer(Office().options);
  std::shared_ptr<XlApplication> xl = server->GetObject();
  xl->WorkbooksOpen(book.string());
  kestrin::testing::RecordingMessageBox box;
  kestrin::testing::RecordingProgress progress;
  exporting::ExportTargets targets{&db, xl, box, progress};
  std::int16_t row = 3, col = 2, step = 1, midasi = 1, display = 1, line = 1, filter = 1,
               fit_row = 1, fit_col = 1;
  std::int32_t out = 0, cls = 0;
  exporting::ExportToSheet(targets, "Sales", source.string(), "出力 先", row, col, step, out, cls,
                           midasi, display, line, filter, fit_row, fit_col, "Pv", "Region", "Year",
                           "0", "0", "Amount");
  ASSERT_THAT(box.shown, IsEmpty()) << box.shown.front().prompt;
  EXPECT_EQ(xl, nullptr);  // saved and quit

  SavedBook saved(book);
  EXPECT_THAT(saved.SheetNames(), ElementsAre("Sheet1", "Sheet4", "出力 先", "Sheet3"));
  EXPECT_EQ(saved.ActiveSheetName(), "Sheet4");
  const std::string s = "出力 先";
  EXPECT_EQ(saved.At(s, "B3").text, "Region");
  EXPECT_EQ(saved.At(s, "G3").text, "Code");
  EXPECT_EQ(saved.At(s, "B4").text, "東");
  EXPECT_EQ(saved.At(s, "C23").number, 2021);
  EXPECT_EQ(saved.At(s, "D23").number, 199.5);
  EXPECT_TRUE(saved.At(s, "E4").format_type & css::util::NumberFormat::DATE);
  EXPECT_EQ(saved.At(s, "G5").text, "001");
  EXPECT_EQ(saved.At("Sheet1", "A1").text, "keep me");
  EXPECT_EQ(saved.AutoFilter(s), (Block{2, 1, 22, 6}));
  EXPECT_GT(saved.Lines(s, "G23")[2], 0);
  auto pivots = saved.Pivots("Sheet4");
  ASSERT_EQ(pivots.count("Pv"), 1u);
  EXPECT_THAT(pivots["Pv"].rows, ElementsAre("Region"));
  EXPECT_THAT(pivots["Pv"].columns, ElementsAre("Year"));
  EXPECT_THAT(pivots["Pv"].data_functions, ElementsAre(css::sheet::GeneralFunction_SUM));
  EXPECT_EQ(pivots["Pv"].source, (Block{2, 1, 22, 6}));
}

}  // namespace
}  // namespace kestrin::automation::uno::testing
