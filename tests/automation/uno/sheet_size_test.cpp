// Tables as large as the sheet holds, end to end with the real engines: a
// generated Access database through the Access reader, written by the
// export engine through the office, every case checked in the saved file.
// An .xls sheet holds 65,536 rows and 256 columns, an .xlsx sheet 1,048,576
// rows; a block that would pass them is refused before anything is written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <com/sun/star/sheet/GeneralFunction.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>

#include "automation/mdb/mdb_access.h"
#include "automation/uno/uno_runtime.h"
#include "automation/uno/uno_util.h"
#include "export/export_to_sheet.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/jet4_writer.h"
#include "tests/support/office_harness.h"

namespace kestrin::automation::uno::testing {
namespace {

using automation::mdb::AccessType;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int kRecords = 100000;
const char* const kRegions[] = {"東", "西", "北"};

// Record r (from 0) of table T: ID r + 1, Region, Year, Amount.
std::int64_t Amount(int r) { return r % 1000 + 1; }

// One database for every case, written once: T (100,000 records of four
// fields), W60 and W255 (three records of 60 and of 255 fields; an Access
// table has at most 255).
struct Source {
  Source() {
    testsupport::Jet4Table t;
    t.name = "T";
    t.columns = {{"ID", AccessType::kLong},
                 {"Region", AccessType::kText, 10},
                 {"Year", AccessType::kLong},
                 {"Amount", AccessType::kLong}};
    t.rows.reserve(kRecords);
    for (int r = 0; r < kRecords; ++r) {
      t.rows.push_back(
          {Value(r + 1), Value(kRegions[r % 3]), Value(2020 + r % 2), Value(Amount(r))});
    }
    testsupport::Jet4Database file;
    file.tables.push_back(std::move(t));
    for (int fields : {60, 255}) {
      testsupport::Jet4Table w;
      w.name = "W" + std::to_string(fields);
      for (int f = 0; f < fields; ++f)
        w.columns.push_back({"F" + std::to_string(f + 1), AccessType::kLong});
      for (int r = 0; r < 3; ++r) {
        std::vector<Value> row;
        for (int f = 0; f < fields; ++f) row.emplace_back((r + 1) * 1000 + f + 1);
        w.rows.push_back(std::move(row));
      }
      file.tables.push_back(std::move(w));
    }
    path = NewPath("large", ".mdb");
    testsupport::WriteJet4Database(file, path);
    access = mdb::MakeMdbAccessServer()->CreateObject();
    access->OpenCurrentDatabase(path.string(), false);
    db = access->CurrentDatabase();
  }
  fs::path path;
  std::shared_ptr<AccessApplication> access;
  std::shared_ptr<DaoDatabase> db;
};

Source& TheSource() {
  static Source source;
  return source;
}

struct Settings {
  std::string table = "T", sheet = "Sheet1";
  std::int16_t StartCol = 1, Midasi = 1, Formatting = 0;
  std::int32_t OutGyo = 0;
  std::string PvtName = "0";
};

// One export that saves and lets go of the office (Display 1); returns what
// the engine showed. A refused export is saved here instead, as it was left.
std::vector<kestrin::testing::ShownMessage> Export(const fs::path& book, const Settings& s) {
  auto xl = MakeUnoXlServer(Office().options)->GetObject();
  xl->WorkbooksOpen(book.string());
  kestrin::testing::RecordingMessageBox box;
  kestrin::testing::RecordingProgress progress;
  exporting::ExportTargets targets{TheSource().db.get(), xl, box, progress};
  std::int16_t row = 1, col = s.StartCol, step = 1, midasi = s.Midasi, display = 1;
  std::int16_t line = s.Formatting, filter = s.Formatting, fit_row = s.Formatting,
               fit_col = s.Formatting;
  std::int32_t out = s.OutGyo, cls = 0;
  const bool pivot = s.PvtName != "0";
  exporting::ExportToSheet(targets, s.table, TheSource().path.string(), s.sheet, row, col, step,
                           out, cls, midasi, display, line, filter, fit_row, fit_col, s.PvtName,
                           pivot ? "Region" : "0", pivot ? "Year" : "0", "0", "0",
                           pivot ? "Amount" : "0");
  if (xl) {
    xl->ActiveWorkbook()->Save();
    xl->Quit();
  }
  return box.shown;
}

std::string Row(int r) { return std::to_string(r); }

TEST(SheetSizeTest, AnXlsSheetTakesRecordsToRow65536AndRefusesOneMoreBeforeWriting) {
  const std::vector<SheetContent> before = {{"Sheet1", {{"old", "old"}, {"old", "old"}}}};
  fs::path heading = NewPath("rows-heading", ".xls");
  fs::path bare = NewPath("rows-bare", ".xls");
  fs::path refused = NewPath("rows-refused", ".xls");
  for (const fs::path& p : {heading, bare, refused}) MakeWorkbook(p, before);

  Settings s;
  s.OutGyo = 65535;
  ASSERT_THAT(Export(heading, s), IsEmpty());
  s.OutGyo = 65536;
  s.Midasi = 0;
  ASSERT_THAT(Export(bare, s), IsEmpty());
  s.Midasi = 1;
  EXPECT_THAT(Export(refused, s), ElementsAre(kestrin::testing::ShownMessage{
                                      "エラーNO:6\r\nオーバーフローしました。レコード 65536 は "
                                      "65537 行目になりますが、シートは "
                                      "65536 行目までです。",
                                      "Kestrin Ver 0.1"}));

  SavedBook with_heading(heading);
  EXPECT_EQ(with_heading.At("Sheet1", "A1").text, "ID");
  EXPECT_EQ(with_heading.At("Sheet1", "D1").text, "Amount");
  EXPECT_EQ(with_heading.At("Sheet1", "A32769").number, 32768);
  EXPECT_EQ(with_heading.At("Sheet1", "A65536").number, 65535);
  EXPECT_EQ(with_heading.At("Sheet1", "B65536").text, kRegions[65534 % 3]);
  EXPECT_EQ(with_heading.At("Sheet1", "D65536").number, Amount(65534));
  SavedBook without(bare);
  EXPECT_EQ(without.At("Sheet1", "A1").number, 1);
  EXPECT_EQ(without.At("Sheet1", "A65536").number, 65536);
  EXPECT_EQ(without.At("Sheet1", "D65536").number, Amount(65535));
  // Nothing was cleared or written.
  SavedBook untouched(refused);
  EXPECT_EQ(untouched.At("Sheet1", "A1").text, "old");
  EXPECT_EQ(untouched.At("Sheet1", "B2").text, "old");
  EXPECT_EQ(untouched.At("Sheet1", "A3").kind, SavedBook::Kind::kEmpty);
}

TEST(SheetSizeTest, AnXlsSheetTakesFieldsToColumnIVAndRefusesColumn257) {
  fs::path book = NewPath("columns", ".xls");
  MakeWorkbook(book, {{"S60", {}}, {"S256", {}}, {"S257", {{"old"}}}});
  Settings s;
  s.Formatting = 1;  // lines, filter and fitting over the letters past AZ
  s.table = "W60";
  s.sheet = "S60";
  ASSERT_THAT(Export(book, s), IsEmpty());
  // 255 fields, the most an Access table has, from column B end at IV.
  s.table = "W255";
  s.sheet = "S256";
  s.StartCol = 2;
  ASSERT_THAT(Export(book, s), IsEmpty());
  s.sheet = "S257";
  s.StartCol = 3;
  const auto shown = Export(book, s);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].prompt,
            "エラーNO:9\r\nインデックスが有効範囲にありません。出力範囲はシートの 257 "
            "列目まで必要ですが、"
            "シートは 256 列目 (IV) までです。");

  SavedBook saved(book);
  EXPECT_EQ(saved.At("S60", "BH1").text, "F60");
  EXPECT_EQ(saved.At("S60", "BH4").number, 3060);
  EXPECT_EQ(saved.AutoFilter("S60"), (Block{0, 0, 3, 59}));
  EXPECT_EQ(saved.At("S256", "B1").text, "F1");
  EXPECT_EQ(saved.At("S256", "IV1").text, "F255");
  EXPECT_EQ(saved.At("S256", "IV4").number, 3255);
  EXPECT_EQ(saved.AutoFilter("S256"), (Block{0, 1, 3, 255}));
  EXPECT_GT(saved.Lines("S256", "IV4")[2], 0);  // the right edge
  EXPECT_GT(saved.ColumnWidth("S256", 255), 0);
  EXPECT_EQ(saved.At("S257", "A1").text, "old");
  EXPECT_EQ(saved.At("S257", "C1").kind, SavedBook::Kind::kEmpty);
}

TEST(SheetSizeTest, AnXlsxSheetTakes100000RecordsWithAPivotTableOverThem) {
  fs::path book = NewPath("tall", ".xlsx");
  MakeWorkbook(book, {{"Data", {{"old"}}}});
  Settings s;
  s.sheet = "Data";
  s.Formatting = 1;
  s.PvtName = "Pv";
  ASSERT_THAT(Export(book, s), IsEmpty());

  SavedBook saved(book);
  ASSERT_THAT(saved.SheetNames(), ElementsAre("Sheet2", "Data"));
  EXPECT_EQ(saved.At("Data", "A1").text, "ID");
  EXPECT_EQ(saved.At("Data", "A" + Row(kRecords + 1)).number, kRecords);
  EXPECT_EQ(saved.At("Data", "D" + Row(kRecords + 1)).number, Amount(kRecords - 1));
  EXPECT_EQ(saved.At("Data", "A" + Row(kRecords + 2)).kind, SavedBook::Kind::kEmpty);
  EXPECT_EQ(saved.AutoFilter("Data"), (Block{0, 0, kRecords, 3}));
  EXPECT_GT(saved.Lines("Data", "D" + Row(kRecords + 1))[3], 0);  // the bottom edge
  auto pivots = saved.Pivots("Sheet2");
  ASSERT_EQ(pivots.count("Pv"), 1u);
  EXPECT_EQ(pivots["Pv"].source, (Block{0, 0, kRecords, 3}));
  EXPECT_THAT(pivots["Pv"].data_functions, ElementsAre(css::sheet::GeneralFunction_SUM));
  // The grand total, the largest number of the pivot table, sums every record.
  std::int64_t total = 0;
  for (int r = 0; r < kRecords; ++r) total += Amount(r);
  auto cursor = saved.Sheet("Sheet2")->createCursor();
  Query<css::sheet::XUsedAreaCursor>(cursor)->gotoEndOfUsedArea(false);
  auto end = Address(cursor);
  double largest = 0;
  for (const auto& line :
       Query<css::sheet::XCellRangeData>(
           saved.Sheet("Sheet2")->getCellRangeByPosition(0, 0, end.EndColumn, end.EndRow))
           ->getDataArray()) {
    for (const auto& cell : line) {
      double number = 0;
      if (cell >>= number) largest = std::max(largest, number);
    }
  }
  EXPECT_EQ(largest, static_cast<double>(total));
}

}  // namespace
}  // namespace kestrin::automation::uno::testing
