// The whole road with real engines on both sides: the bundled sample
// database through the Access reader (a saved query with a WHERE and an
// ORDER BY), written into a copy of the bundled workbook by the office; and
// a table of a real Access 2007 file with attachment and multi-value fields.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <com/sun/star/util/NumberFormat.hpp>

#include "automation/mdb/mdb_access.h"
#include "export/export_to_sheet.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/office_harness.h"

namespace kestrin::automation::uno::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Slip {
  double date;
  std::int64_t number;
  std::int64_t amount;  // ten-thousandths
};

TEST(SampleExportTest, SavedQueryFromTheSampleDatabaseLandsTypedAndInOrder) {
  const std::string database = KESTRIN_SAMPLE_DIR "/sample.mdb";
  auto access = mdb::MakeMdbAccessServer()->CreateObject();
  access->OpenCurrentDatabase(database, false);
  std::shared_ptr<DaoDatabase> db = access->CurrentDatabase();

  // What the query must give, worked out from the table itself: slips of
  // 10,000 yen or more, newest first.
  std::vector<Slip> expected;
  {
    auto rs = db->OpenRecordset("売上明細");
    for (; !rs->Eof(); rs->MoveNext()) {
      const std::int64_t amount = rs->FieldValue(6).currency().ten_thousandths;
      if (amount >= 10000LL * 10000) {
        expected.push_back(
            {rs->FieldValue(1).datetime().serial, rs->FieldValue(0).integer(), amount});
      }
    }
    rs->Close();
  }
  ASSERT_GT(expected.size(), 10u);

  fs::path book = NewPath("sample", ".xls");
  fs::copy_file(KESTRIN_SAMPLE_DIR "/sample.xls", book);
  auto server = MakeUnoXlServer(Office().options);
  std::shared_ptr<XlApplication> xl = server->GetObject();
  xl->WorkbooksOpen(book.string());
  kestrin::testing::RecordingMessageBox box;
  kestrin::testing::RecordingProgress progress;
  exporting::ExportTargets targets{db.get(), xl, box, progress};
  std::int16_t row = 3, col = 1, step = 1, midasi = 1, display = 1, line = 1, filter = 1,
               fit_row = 1, fit_col = 1;
  std::int32_t out = 0, cls = 0;
  exporting::ExportToSheet(targets, "大口売上", database, "売上", row, col, step, out, cls, midasi,
                           display, line, filter, fit_row, fit_col, "0", "0", "0", "0", "0", "0");
  ASSERT_THAT(box.shown, IsEmpty()) << box.shown.front().prompt;
  EXPECT_EQ(progress.max_count, std::to_string(expected.size()));

  SavedBook saved(book);
  EXPECT_THAT(saved.SheetNames(), ElementsAre("メモ", "売上"));
  EXPECT_EQ(saved.At("売上", "A1").text, "売上明細（2026年）");
  const char* headings[] = {"伝票番号", "売上日", "支店", "商品", "金額"};
  for (int c = 0; c < 5; ++c) {
    EXPECT_EQ(saved.At("売上", std::string(1, static_cast<char>('A' + c)) + "3").text, headings[c]);
  }
  // Newest first; slips of the same day may come in any order.
  std::vector<Slip> written;
  for (size_t i = 0; i < expected.size(); ++i) {
    const std::string r = std::to_string(4 + i);
    EXPECT_TRUE(saved.At("売上", "B" + r).format_type & css::util::NumberFormat::DATE) << r;
    written.push_back({saved.At("売上", "B" + r).number,
                       static_cast<std::int64_t>(saved.At("売上", "A" + r).number),
                       static_cast<std::int64_t>(saved.At("売上", "E" + r).number * 10000)});
    if (i > 0) {
      EXPECT_LE(written[i].date, written[i - 1].date) << r;
    }
  }
  auto by_date_then_number = [](const Slip& a, const Slip& b) {
    return a.date != b.date ? a.date > b.date : a.number < b.number;
  };
  std::sort(expected.begin(), expected.end(), by_date_then_number);
  std::sort(written.begin(), written.end(), by_date_then_number);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(written[i].number, expected[i].number);
    EXPECT_EQ(written[i].date, expected[i].date);
    EXPECT_EQ(written[i].amount, expected[i].amount);
  }
  EXPECT_EQ(saved.At("売上", "A" + std::to_string(4 + expected.size())).kind,
            SavedBook::Kind::kEmpty);
  const int last = static_cast<int>(2 + expected.size());
  EXPECT_EQ(saved.AutoFilter("売上"), (Block{2, 0, last, 4}));
  access->CloseCurrentDatabase();
}

// Attachment and multi-value fields reach their cells as text, the values
// or file names joined by "; "; the hidden version history of the
// append-only memo is no column.
TEST(SampleExportTest, AttachmentAndMultiValueFieldsLandAsText) {
  const std::string database = KESTRIN_TEST_DATABASES "/complexDataTestV2007.accdb";
  auto access = mdb::MakeMdbAccessServer()->CreateObject();
  access->OpenCurrentDatabase(database, false);
  std::shared_ptr<DaoDatabase> db = access->CurrentDatabase();

  const fs::path book = NewPath("complex", ".xlsx");
  MakeWorkbook(book, {{"Data", {}}});
  auto server = MakeUnoXlServer(Office().options);
  std::shared_ptr<XlApplication> xl = server->GetObject();
  xl->WorkbooksOpen(book.string());
  kestrin::testing::RecordingMessageBox box;
  kestrin::testing::RecordingProgress progress;
  exporting::ExportTargets targets{db.get(), xl, box, progress};
  std::int16_t row = 1, col = 1, step = 1, midasi = 1, display = 1, off = 0;
  std::int32_t out = 0, cls = 0;
  exporting::ExportToSheet(targets, "Table1", database, "Data", row, col, step, out, cls, midasi,
                           display, off, off, off, off, "0", "0", "0", "0", "0", "0");
  ASSERT_THAT(box.shown, IsEmpty()) << box.shown.front().prompt;

  SavedBook saved(book);
  auto text = [&](const char* a1) { return saved.At("Data", a1).text; };
  EXPECT_EQ(text("D1"), "multi-value-data");
  EXPECT_EQ(text("E1"), "attach-data");
  EXPECT_EQ(saved.At("Data", "F1").kind, SavedBook::Kind::kEmpty);
  EXPECT_EQ(saved.At("Data", "D2").kind, SavedBook::Kind::kEmpty);
  EXPECT_EQ(text("D3"), "value1; value4");
  EXPECT_EQ(text("E3"), "test_data.txt; test_data2.txt");
  EXPECT_EQ(text("D4"), "value1; value2; value3; value4");
  EXPECT_EQ(text("C4"), "row3-memo-again");
  EXPECT_EQ(text("E5"), "test_data2.txt");
  access->CloseCurrentDatabase();
}

}  // namespace
}  // namespace kestrin::automation::uno::testing
