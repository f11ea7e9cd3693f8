#include <gmock/gmock.h>

#include "tests/export/export_fixture.h"

namespace kestrin::testing {
namespace {

using automation::Currency;
using automation::DateTime;
using ::testing::ElementsAre;

TEST_F(ExportTest, WritesHeadingAndTypedRecordsCellByCellThroughTheSelection) {
  db.AddTable("T", {"Code", "When", "Price", "Note"},
              {{"007", DateTime{45000.5}, Currency{12345}, automation::Null{}},
               {"=1+1", DateTime{-1.25}, Currency{-1}, true}});
  sheet().cells[{7, 6}] = Value("old value under a null");
  s.StartRow = 5;
  s.StartCol = 3;
  s.ClsGyo = -1;
  Run();

  ASSERT_TRUE(box.shown.empty()) << box.shown[0].prompt;
  const FakeSheet& sh = sheet();
  EXPECT_EQ(*sh.Cell(5, 3), Value("Code"));
  EXPECT_EQ(*sh.Cell(5, 6), Value("Note"));
  EXPECT_EQ(*sh.Cell(6, 3), Value("007"));
  EXPECT_EQ(*sh.Cell(6, 4), Value(DateTime{45000.5}));
  EXPECT_EQ(*sh.Cell(6, 5), Value(Currency{12345}));
  EXPECT_EQ(sh.Cell(6, 6), nullptr);
  EXPECT_EQ(*sh.Cell(7, 3), Value("=1+1"));
  EXPECT_EQ(*sh.Cell(7, 6), Value(true));

  // Each cell: Goto with a lower-case r/c reference, then the active cell's value.
  const auto& calls = excel->calls();
  auto first = std::find(calls.begin(), calls.end(), "Goto(r5c3)");
  ASSERT_NE(first, calls.end());
  EXPECT_EQ(*(first + 1), "ActiveCell.Value=\"Code\"");
  EXPECT_EQ(*(first + 2), "Goto(r5c4)");
  EXPECT_EQ(CallsWithPrefix("Goto(").size(), 4u * 3 + 1);  // heading, 2 records, finish
  // The last written cell is the selection when the records are done: the
  // next call after it is the finish's Goto of the block's first cell.
  auto last_write = std::find(calls.rbegin(), calls.rend(), "Goto(r7c6)");
  ASSERT_NE(last_write, calls.rend());
  EXPECT_EQ(*(last_write - 1), "ActiveCell.Value=True");
  EXPECT_EQ(*(last_write - 2), "Goto(r5c3)");
  EXPECT_THAT(db.calls(),
              ElementsAre("OpenRecordset(T)", "MoveLast", "RecordCount", "MoveFirst", "Close"));
}

TEST_F(ExportTest, BlockAddressFollowsStartCellAndReachesTheSheetsLastColumn) {
  // Five fields at C with a heading and 100 records: C1:G101.
  std::vector<std::vector<Value>> rows(100, std::vector<Value>{1, 2, 3, 4, 5});
  db.AddTable("T", {"a", "b", "c", "d", "e"}, rows);
  s.StartCol = 3;
  Run();
  EXPECT_TRUE(Called("Range(C1:G101).Clear"));

  // 256 fields from A fill an .xls sheet to its last column, IV.
  std::vector<std::string> names;
  for (int i = 0; i < 257; ++i) names.push_back("f" + std::to_string(i));
  db.AddTable("W257", names, {std::vector<Value>(257, Value(1))});
  names.pop_back();
  db.AddTable("W256", names, {std::vector<Value>(256, Value(1))});
  ExportSettings wide;
  wide.TblName = "W256";
  wide.FileMoto = s.FileMoto;
  wide.Line = wide.Filter = wide.FitCol = 1;
  s = wide;
  excel->ClearCalls();
  Run();
  ASSERT_TRUE(box.shown.empty()) << box.shown[0].prompt;
  EXPECT_TRUE(Called("Range(A1:IV2).Clear"));
  EXPECT_TRUE(Called("Range(A1:IV2).AutoFilter"));
  EXPECT_TRUE(Called("Columns(A:IV).AutoFit"));
  EXPECT_EQ(*sheet().Cell(1, 256), Value("f255"));

  // 256 fields from B, or 257 from A: error 9 naming the column and the
  // sheet's last, after the sheet was activated and before anything is
  // cleared or written.
  for (auto [table, col] : {std::pair{"W256", 2}, std::pair{"W257", 1}}) {
    s = wide;
    s.TblName = table;
    s.StartCol = static_cast<std::int16_t>(col);
    excel->ClearCalls();
    const auto cells_before = sheet().cells;
    box.shown.clear();
    Run();
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].prompt,
              "エラーNO:9\r\nSubscript out of range: the block would need sheet column 257, "
              "beyond column IV (256)");
    EXPECT_THAT(excel->calls(), ElementsAre("Sheets(Sheet1).Activate"));
    EXPECT_EQ(sheet().cells, cells_before);
  }

  // An .xlsx sheet goes on to XFD: 257 fields from column 16,128 end there.
  excel->AddFile("/books/wide.xlsx", {"Sheet1"});
  workbook = &excel->OpenForTest("/books/wide.xlsx");
  s = wide;
  s.TblName = "W257";
  s.StartCol = 16128;
  box.shown.clear();
  Run();
  ASSERT_TRUE(box.shown.empty()) << box.shown[0].prompt;
  EXPECT_TRUE(Called("Range(WVH1:XFD2).Clear"));
  EXPECT_TRUE(Called("Columns(WVH:XFD).AutoFit"));
  EXPECT_EQ(*sheet().Cell(2, 16384), Value(1));
  s.StartCol = 16129;
  Run();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_THAT(box.shown[0].prompt, ::testing::HasSubstr("column 16385, beyond column XFD (16384)"));
}

TEST_F(ExportTest, ClearingModes) {
  AddNumberedTable(3);
  s.StartRow = 2;
  s.StartCol = 2;
  auto preset = [&] {
    sheet().cells.clear();
    sheet().formats.clear();
    for (int r = 1; r <= 12; ++r) {
      for (int c = 1; c <= 5; ++c) sheet().cells[{r, c}] = Value("old");
    }
    sheet().formats[{3, 3}] = "bold";
    excel->ClearCalls();
  };

  // 0: exactly the block about to be written (heading + 3 records, B..D).
  preset();
  Run();
  EXPECT_THAT(CallsWithPrefix("Range("), ElementsAre("Range(B2:D5).Clear"));
  EXPECT_EQ(*sheet().Cell(6, 2), Value("old"));
  EXPECT_EQ(*sheet().Cell(2, 1), Value("old"));
  EXPECT_EQ(*sheet().Cell(2, 5), Value("old"));
  EXPECT_TRUE(sheet().formats.empty());

  // 5 with a heading: the heading row and five rows below it.
  preset();
  s.ClsGyo = 5;
  Run();
  EXPECT_THAT(CallsWithPrefix("Range("), ElementsAre("Range(B2:D7).Clear"));
  EXPECT_EQ(sheet().Cell(6, 2), nullptr);
  EXPECT_EQ(sheet().Cell(7, 4), nullptr);
  EXPECT_EQ(*sheet().Cell(8, 2), Value("old"));

  // Negative: nothing is cleared, old cells beside the written ones remain.
  preset();
  s.ClsGyo = -1;
  s.Midasi = 0;
  db.AddTable("Sparse", {"a", "b", "c"}, {{automation::Null{}, 1, 2}});
  s.TblName = "Sparse";
  Run();
  EXPECT_TRUE(CallsWithPrefix("Range(").empty());
  EXPECT_EQ(sheet().Cell(2, 2), nullptr) << "a null value empties its cell";
  EXPECT_EQ(*sheet().Cell(3, 2), Value("old"));
  EXPECT_EQ(*sheet().Cell(3, 3), Value("old"));
}

TEST_F(ExportTest, RowStepPlacesRecordsApartAndTheBlockReachesTheLastRecord) {
  AddNumberedTable(4);
  s.KaiGyo = 3;
  s.ClsGyo = -1;
  s.Line = s.Filter = s.FitRow = 1;
  sheet().cells[{3, 1}] = Value("between records");
  Run();
  ASSERT_TRUE(box.shown.empty());
  for (int row : {2, 5, 8, 11}) EXPECT_NE(sheet().Cell(row, 1), nullptr) << row;
  EXPECT_EQ(*sheet().Cell(11, 1), Value(4));
  EXPECT_EQ(*sheet().Cell(3, 1), Value("between records"));
  EXPECT_EQ(sheet().Cell(12, 1), nullptr);
  EXPECT_EQ(sheet().autofilter, "A1:C11");
  EXPECT_TRUE(Called("Rows(1:11).AutoFit"));
}

TEST_F(ExportTest, NormalisesSettingsAndWritesThemBack) {
  AddNumberedTable(2);
  s.StartRow = 0;
  s.StartCol = -3;
  s.KaiGyo = 0;
  s.Midasi = 2;
  s.Display = 5;
  Run();
  EXPECT_EQ(s.StartRow, 1);
  EXPECT_EQ(s.StartCol, 1);
  EXPECT_EQ(s.KaiGyo, 1);
  EXPECT_EQ(s.Midasi, 0);
  EXPECT_EQ(s.Display, 0);
  // No heading: the first record goes to StartRow.
  EXPECT_EQ(*sheet().Cell(1, 1), Value(1));
  EXPECT_EQ(*sheet().Cell(2, 1), Value(2));
  EXPECT_TRUE(Called("Range(A1:C2).Clear"));

  s.Midasi = -1;
  Run();
  EXPECT_EQ(s.Midasi, 0);
  EXPECT_EQ(*sheet().Cell(1, 1), Value(1));
}

TEST_F(ExportTest, RecordLimitAndProgress) {
  AddNumberedTable(250);
  struct Case {
    std::int32_t out_gyo;
    int written;
  };
  for (Case c : {Case{0, 250}, Case{10, 10}, Case{500, 250}, Case{-5, 250}}) {
    SCOPED_TRACE(c.out_gyo);
    sheet().cells.clear();
    progress.gauge.clear();
    progress.count_updates = 0;
    s.OutGyo = c.out_gyo;
    Run();
    ASSERT_TRUE(box.shown.empty());
    EXPECT_EQ(progress.max_count, std::to_string(c.written));
    EXPECT_EQ(progress.count, std::to_string(c.written));
    EXPECT_EQ(progress.count_updates, c.written);
    ASSERT_EQ(progress.gauge.size(), static_cast<size_t>(c.written));
    EXPECT_FLOAT_EQ(progress.gauge.front(), 2100.0f / c.written);
    EXPECT_FLOAT_EQ(progress.gauge.back(), 2100.0f);
    EXPECT_EQ(*sheet().Cell(c.written + 1, 1), Value(c.written));
    EXPECT_EQ(sheet().Cell(c.written + 2, 1), nullptr);
  }
}

TEST_F(ExportTest, MissingSourceFileAndEmptySourceStopWithTheirOwnMessages) {
  AddNumberedTable(0);
  const std::string existing = s.FileMoto;
  s.FileMoto = "/nonexistent/dir/db.mdb";
  Run();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0],
            (ShownMessage{"ファイル /nonexistent/dir/db.mdb は見つかりません。", "Kestrin"}));
  EXPECT_TRUE(db.calls().empty());
  EXPECT_TRUE(excel->calls().empty());

  s.FileMoto = existing;
  box.shown.clear();
  Run();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0],
            (ShownMessage{"T にはレコードが 1件もありません。処理を中止します。", "Kestrin"}));
  EXPECT_TRUE(excel->calls().empty());
  EXPECT_FALSE(excel->visible());
}

TEST_F(ExportTest, FailureMidwayKeepsWrittenCellsAndSkipsTheRest) {
  AddNumberedTable(5);
  db.FailFieldValueAt(2, automation::AutomationError(3021, "No current record."));
  s.Line = s.Filter = s.FitRow = s.FitCol = 1;
  s.PvtName = "P";
  s.PvtRow1 = "Name";
  s.PvtCol1 = "ID";
  s.PvtVal = "Amount";
  Run();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0], (ShownMessage{"エラーNO:3021\r\nNo current record.", "Kestrin Ver 0.1"}));
  EXPECT_EQ(*sheet().Cell(3, 3), Value(Currency{20000}));
  EXPECT_EQ(sheet().Cell(4, 1), nullptr);
  EXPECT_FALSE(CalledWithPrefix("Selection.Borders"));
  EXPECT_FALSE(CalledWithPrefix("PivotTableWizard"));
  EXPECT_FALSE(CalledWithPrefix("Rows("));
  EXPECT_EQ(workbook->saves, 0);
  EXPECT_FALSE(excel->visible());
  EXPECT_EQ(std::count(db.calls().begin(), db.calls().end(), "Close"), 0);
}

TEST_F(ExportTest, RefusalsEndInTheErrorReport) {
  AddNumberedTable(3);
  // A sheet the workbook lacks: nothing written, visibility unchanged.
  s.ShtName = "NoSuchSheet";
  Run();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0],
            (ShownMessage{"エラーNO:9\r\nSubscript out of range", "Kestrin Ver 0.1"}));
  EXPECT_EQ(excel->cell_writes(), 0);
  EXPECT_FALSE(excel->visible());

  // A table or query the database lacks.
  box.shown.clear();
  s = ExportSettings{.TblName = "Missing", .FileMoto = s.FileMoto};
  Run();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_THAT(box.shown[0].prompt, ::testing::StartsWith("エラーNO:3078\r\n"));

  // A negative number keeps its sign; an empty description ends in CR LF.
  box.shown.clear();
  s = ExportSettings{.FileMoto = s.FileMoto};
  excel->FailOn("Range(", automation::AutomationError(-2147417848, ""));
  Run();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0].prompt, "エラーNO:-2147417848\r\n");
}

TEST_F(ExportTest, ATextTooLongForACellEndsTheRunUnsaved) {
  db.AddTable("T", {"Memo"}, {{"short"}, {std::string(40000, 'x')}, {"never written"}});
  s.Display = 1;
  Run();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_THAT(box.shown[0].prompt, ::testing::StartsWith("エラーNO:1004\r\n"));
  EXPECT_EQ(*sheet().Cell(2, 1), Value("short"));
  EXPECT_EQ(sheet().Cell(4, 1), nullptr);
  EXPECT_EQ(workbook->saves, 0);
}

TEST_F(ExportTest, RecordsReachTheSheetsLastRowAndOneMoreIsRefusedBeforeWriting) {
  // An .xls sheet holds 65,536 rows: 65,535 records under a heading.
  AddNumberedTable(65536);
  excel->set_logging(false);
  s.OutGyo = 65535;
  s.FitRow = 1;
  Run();
  ASSERT_TRUE(box.shown.empty()) << box.shown[0].prompt;
  EXPECT_EQ(*sheet().Cell(65536, 1), Value(65535));
  EXPECT_EQ(progress.max_count, "65535");
  EXPECT_EQ(progress.count, "65535");
  EXPECT_FLOAT_EQ(progress.gauge[32767], 32768.0f / 65535 * 2100);
  EXPECT_FLOAT_EQ(progress.gauge.back(), 2100.0f);

  // One more is refused with the record and the sheet's last row, before
  // anything is cleared or written.
  excel->set_logging(true);
  const std::int64_t writes = excel->cell_writes();
  s.OutGyo = 0;
  Run();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0].prompt,
            "エラーNO:6\r\nOverflow: record 65536 would go to row 65537, beyond row 65536");
  EXPECT_FALSE(CalledWithPrefix("Range("));
  EXPECT_EQ(excel->cell_writes(), writes);

  // Row steps count too: in an .xlsx sheet (1,048,576 rows) 33 records 32,767
  // rows apart under a heading end at row 1,048,546; a 34th would not fit.
  excel->AddFile("/books/tall.xlsx", {"Sheet1"});
  workbook = &excel->OpenForTest("/books/tall.xlsx");
  s.KaiGyo = 32767;
  s.OutGyo = 33;
  box.shown.clear();
  Run();
  ASSERT_TRUE(box.shown.empty()) << box.shown[0].prompt;
  EXPECT_EQ(*sheet().Cell(1048546, 1), Value(33));
  EXPECT_TRUE(Called("Range(A1:C1048546).Clear"));
  s.OutGyo = 34;
  Run();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_THAT(box.shown[0].prompt, ::testing::EndsWith("record 34 would go to row 1081313, "
                                                       "beyond row 1048576"));

  // Counts too large for 32-bit row arithmetic are refused, not wrapped.
  box.shown.clear();
  s.KaiGyo = 1;
  s.OutGyo = 0;
  s.ClsGyo = 2147483647;
  Run();  // the spreadsheet refuses the unwrapped address
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_THAT(box.shown[0].prompt, ::testing::HasSubstr("A1:C2147483648"));
}

TEST_F(ExportTest, FinishShowsOrSavesAndQuits) {
  AddNumberedTable(3);
  s.StartRow = 4;
  s.StartCol = 2;
  Run();
  EXPECT_EQ(excel->calls().back(), "Visible=True");
  EXPECT_EQ(excel->calls()[excel->calls().size() - 2], "Goto(r4c2)");
  EXPECT_EQ(excel->active_cell(), (CellPos{4, 2}));
  EXPECT_EQ(workbook->saves, 0);
  EXPECT_NE(xl, nullptr);

  excel->ClearCalls();
  s.Display = 1;
  Run();
  EXPECT_THAT(std::vector(excel->calls().end() - 3, excel->calls().end()),
              ElementsAre("DisplayAlerts=False", "Workbook.Save", "Quit"));
  EXPECT_EQ(workbook->saves, 1);
  EXPECT_TRUE(excel->quit());
  EXPECT_EQ(xl, nullptr) << "XlApp is released after saving";
  // The selection was left on the last written cell.
  EXPECT_EQ(excel->active_cell(), (CellPos{7, 4}));

  // A further run without a spreadsheet application is reported, not a crash.
  Run();
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_THAT(box.shown[0].prompt, ::testing::StartsWith("エラーNO:91\r\n"));
}

}  // namespace
}  // namespace kestrin::testing
