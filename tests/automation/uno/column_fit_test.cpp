// Fitting columns by measuring only the cells that can be widest leaves the
// workbook exactly as the office's own fit of every cell does: the same
// export is run twice, once each way, and the saved files compared.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include <com/sun/star/sheet/XCellRangeData.hpp>

#include "automation/uno/uno_runtime.h"
#include "automation/uno/uno_util.h"
#include "tests/support/mixed_table.h"
#include "tests/support/office_harness.h"

namespace kestrin::automation::uno::testing {
namespace {

// What an export does to a sheet, through the same calls.
struct Export {
  std::string sheet = "Sheet1";
  int top = 1, left = 1;  // from 1
  std::vector<std::string> heading;
  std::vector<std::vector<Value>> rows;
  bool clear = true;
};

std::string A1(int row, int col) { return ColumnLetters(col - 1) + std::to_string(row); }

void Run(XlApplication& app, const fs::path& path, const Export& e) {
  app.WorkbooksOpen(path.string());
  app.ActiveWorkbook()->Sheets()->Item(e.sheet)->Activate();
  const int fields = static_cast<int>(e.rows.empty() ? e.heading.size() : e.rows[0].size());
  const int bottom = e.top + static_cast<int>(e.rows.size()) - (e.heading.empty() ? 1 : 0);
  const int right = e.left + fields - 1;
  const std::string block = A1(e.top, e.left) + ":" + A1(bottom, right);
  if (e.clear) app.Range(block)->Clear();
  int row = e.top;
  auto put = [&](int r, int c, const Value& v) {
    app.Goto("r" + std::to_string(r) + "c" + std::to_string(c));
    app.ActiveCell()->SetValue(v);
  };
  if (!e.heading.empty()) {
    for (int c = 0; c < fields; ++c) put(row, e.left + c, Value(e.heading[c]));
    ++row;
  }
  for (const auto& record : e.rows) {
    for (int c = 0; c < fields; ++c) put(row, e.left + c, record[c]);
    ++row;
  }
  app.Range(block)->Select();
  for (int index : {7, 8, 9, 10, 11, 12}) {
    auto border = app.Selection()->Borders(index);
    border->SetLineStyle(xl::kContinuous);
    border->SetWeight(xl::kThin);
    border->SetColorIndex(xl::kColorIndexAutomatic);
  }
  app.Range(block)->AutoFilter();
  app.Rows(std::to_string(e.top) + ":" + std::to_string(bottom))->AutoFit();
  app.Columns(ColumnLetters(e.left - 1) + ":" + ColumnLetters(right - 1))->AutoFit();
  app.Goto("r" + std::to_string(e.top) + "c" + std::to_string(e.left));
  app.ActiveWorkbook()->Save();
  app.ActiveWorkbook()->Close(false);
}

std::shared_ptr<XlApplication> Attach(bool fast, ColumnFitReport* report,
                                      UnoOptions options = Office().options) {
  options.fast_column_fit = fast;
  options.on_column_fit = [report](const ColumnFitReport& r) { *report = r; };
  return MakeUnoXlServer(options)->GetObject();
}

// Every cell's content as the office holds it.
std::vector<std::vector<std::string>> Contents(const SavedBook& book, const std::string& sheet,
                                               int rows, int columns) {
  auto data = Query<css::sheet::XCellRangeData>(
                  book.Sheet(sheet)->getCellRangeByPosition(0, 0, columns - 1, rows - 1))
                  ->getDataArray();
  std::vector<std::vector<std::string>> out;
  for (const auto& row : data) {
    out.emplace_back();
    for (const auto& cell : row) {
      rtl::OUString text;
      double number = 0;
      if (cell >>= text) {
        out.back().push_back("text:" + FromOU(text));
      } else if (cell >>= number) {
        out.back().push_back("number:" + std::to_string(number));
      } else {
        out.back().push_back("?");
      }
    }
  }
  return out;
}

// Runs the export both ways on copies of one workbook and compares the
// saved files over `rows` x `columns` from A1.
// Returns how the fast fit went.
ColumnFitReport ExpectSameWorkbook(const std::vector<SheetContent>& before, const Export& e,
                                   int rows, int columns,
                                   const UnoOptions& options = Office().options) {
  fs::path fast = NewPath("fit-fast", ".xls");
  fs::path plain = NewPath("fit-plain", ".xls");
  MakeWorkbook(fast, before);
  fs::copy_file(fast, plain);
  ColumnFitReport fast_report, plain_report;
  Run(*Attach(true, &fast_report, options), fast, e);
  Run(*Attach(false, &plain_report), plain, e);
  EXPECT_EQ(plain_report.measured_plainly, plain_report.columns);
  SavedBook a(fast), b(plain);
  EXPECT_EQ(Contents(a, e.sheet, rows, columns), Contents(b, e.sheet, rows, columns));
  EXPECT_EQ(a.SheetNames(), b.SheetNames());
  EXPECT_EQ(a.AutoFilter(e.sheet), b.AutoFilter(e.sheet));
  for (int c = 0; c < columns; ++c) {
    EXPECT_EQ(a.ColumnWidth(e.sheet, c), b.ColumnWidth(e.sheet, c)) << "column " << c;
  }
  for (int r = 0; r < rows; ++r) {
    EXPECT_EQ(a.RowHeight(e.sheet, r), b.RowHeight(e.sheet, r)) << "row " << r;
    // Types, formats and lines of every cell in a sample of the rows.
    if (r % 7 != 0 && r != rows - 1) continue;
    for (int c = 0; c < columns; ++c) {
      const std::string cell = A1(r + 1, c + 1);
      auto x = a.At(e.sheet, cell), y = b.At(e.sheet, cell);
      EXPECT_EQ(x.kind, y.kind) << cell;
      EXPECT_EQ(x.number, y.number) << cell;
      EXPECT_EQ(x.text, y.text) << cell;
      EXPECT_EQ(x.format_code, y.format_code) << cell;
      EXPECT_EQ(a.Lines(e.sheet, cell), b.Lines(e.sheet, cell)) << cell;
    }
  }
  return fast_report;
}

// A small deterministic generator, so that a failure can be repeated.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed) {}
  std::uint32_t Next(std::uint32_t bound) {
    state_ = state_ * 1664525u + 1013904223u;
    return (state_ >> 8) % bound;
  }

 private:
  std::uint32_t state_;
};

std::string RandomText(Random& random, int length) {
  static const char* const kPieces[] = {"a",  "W",  "i", "m", "1",  "7", " ", ".", "東", "京",
                                        "あ", "ー", "ｱ", "ﾞ", "Ａ", "é", "ß", "%", "l",  "0"};
  std::string out;
  for (int i = 0; i < length; ++i) out += kPieces[random.Next(20)];
  return out;
}

TEST(ColumnFitTest, VariedValuesWithAWideHeadingAndOtherCellsInTheColumns) {
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 120; ++i) {
    rows.push_back({
        Value("item " + std::to_string(i * 37)),                      // digits inside text
        Value(i % 7 == 0 ? Value(Null{}) : Value(i * 1001 - 50000)),  // integers, negatives
        Value(i * 0.37),                                              // fractions, some uncertain
        Value(DateTime{36000.0 + i * 97}),                            // dates of 1 and 2 digit days
        Value(DateTime{45000.0 + i / 7.0}),                           // dates with a time
        Value(i % 2 == 0),                                            // Yes/No
        Value(Currency{i * 123457}),                                  // currency
        Value(i % 11 == 0 ? "東京都千代田区丸の内" : "ｶﾀｶﾅ"),         // full- and half-width
        Value(i == 60 ? std::string(90, 'i') : std::string(40, 'W').substr(0, i % 40)),
        Value(i == 5   ? 1.0 / 3
              : i == 6 ? 1e16
              : i == 7 ? 0.00001
                       : 12.5),
    });
  }
  Export e;
  e.sheet = "Data";
  e.top = 4;
  e.left = 2;
  e.heading = {
      "Name",       "An integer field with a long heading", "R", "D", "T", "F", "C", "J", "Width",
      "Odd numbers"};
  e.rows = rows;
  // Above the block a wide title over one column, below it a note.
  std::vector<std::vector<Cell>> old(130, std::vector<Cell>(12, Cell{std::string()}));
  old[0][2] = std::string("A title wider than any value in this column, much wider");
  old[129][5] = std::string("a note below the block");
  old[1][11] = 42.0;
  ColumnFitReport fit = ExpectSameWorkbook({{"Other", {{"x"}}}, {"Data", old}}, e, 132, 13);
  EXPECT_EQ(fit.columns, 10);
  EXPECT_EQ(fit.measured_plainly, 0);
  EXPECT_LT(fit.chosen_cells, fit.written_cells / 2);
}

TEST(ColumnFitTest, ManyDistinctTextsAndNumbersOfEveryLength) {
  Random random(7);
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 1500; ++i) {
    const int length = 1 + static_cast<int>(random.Next(30));
    rows.push_back(
        {Value(RandomText(random, length)),
         Value(static_cast<std::int64_t>(random.Next(1u << 30)) * (random.Next(2) == 0 ? 1 : -1)),
         Value(random.Next(100000) / 64.0), Value(DateTime{20000.0 + random.Next(60000)}),
         Value(RandomText(random, length / 3) + "\n" + RandomText(random, length))});
  }
  Export e;
  e.heading = {"Text", "Integer", "Number", "Date", "Two lines"};
  e.rows = rows;
  ColumnFitReport fit = ExpectSameWorkbook({{"Sheet1", {{"old value left in place"}}}}, e, 1502, 6);
  EXPECT_EQ(fit.measured_plainly, 0);
  EXPECT_LT(fit.chosen_cells, fit.written_cells);
}

TEST(ColumnFitTest, WithoutHeadingOrClearingOldFormatsStay) {
  // Without clearing, the cells keep the workbook's own contents around the
  // written ones; a text that outgrows every value sits in a row between.
  std::vector<std::vector<Cell>> old(40, std::vector<Cell>(3, Cell{std::string()}));
  old[30][1] = std::string("an old long text the export does not overwrite");
  old[2][0] = 123456789.0;
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 20; ++i) rows.push_back({Value(i), Value("short " + std::to_string(i))});
  Export e;
  e.rows = rows;
  e.clear = false;
  EXPECT_EQ(ExpectSameWorkbook({{"Sheet1", old}}, e, 42, 4).measured_plainly, 0);
}

TEST(ColumnFitTest, ColumnsOfOneRunWithEmptyColumnsAndUnevenCandidates) {
  // Without a heading the first record holds the filter buttons; the widest
  // text of the first column sits there, of the last in the last record. An
  // empty column, one of many distinct widths and one of a single value
  // share the run.
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 40; ++i) {
    rows.push_back({
        Value(i == 0 ? std::string("the widest text of this column, in the filter row")
                     : std::string(static_cast<std::size_t>(1 + i % 3), 'a')),
        Value(Null{}),
        Value(std::string(static_cast<std::size_t>(1 + i), 'x')),
        Value(7),
        Value(i == 39 ? std::string("東京都千代田区丸の内一丁目、最後の行") : std::string("ｶﾅ")),
    });
  }
  Export e;
  e.top = 3;
  e.left = 2;
  e.rows = rows;
  ColumnFitReport fit = ExpectSameWorkbook({{"Sheet1", {{"x"}}}}, e, 45, 7);
  EXPECT_EQ(fit.measured_plainly, 0);
  EXPECT_LT(fit.chosen_cells, fit.written_cells / 2);
}

TEST(ColumnFitTest, ARealTablesMixAndJapaneseFullWidthTextUnderAHeading) {
  // Texts of Japanese users: full-width letters, digits and signs, kana of
  // both widths, and notes mixing scripts (the office lays those out its
  // own way).
  static const char* const kJapanese[] = {"ＡＢＣ全角テキスト", "東京都千代田区丸の内１－２－３",
                                          "１２３４５６７８",   "ﾊﾝｶｸｶﾀｶﾅ",
                                          "カタカナ・ひらがな", "【重要】至急",
                                          "Tokyo 東京 支店",    "（株）山田商事"};
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 3000; ++i) {
    std::vector<Value> row = testsupport::MixedRow(i * 11 + 3);
    row.push_back(Value(kJapanese[i % 8]));
    rows.push_back(std::move(row));
  }
  Export e;
  e.heading = {"ID",       "コード", "Name", "Qty",  "Price", "Ratio",
               "更新日時", "Active", "地域", "Note", "備考"};
  e.rows = rows;
  ColumnFitReport fit = ExpectSameWorkbook({{"Sheet1", {{"x"}}}}, e, 3002, 12);
  EXPECT_EQ(fit.measured_plainly, 0);
  // The fonts leave a few cells of each column to measure.
  EXPECT_LT(fit.chosen_cells, 400);
}

TEST(ColumnFitTest, ColumnsWithMergedCellsAreFittedByTheOfficeAlone) {
  // A title merged across B:C and a note merged down E2:E3, both wider than
  // any value; the office's fit passes over merged cells.
  std::vector<std::vector<Cell>> old(3, std::vector<Cell>(6, Cell{std::string()}));
  old[0][1] = std::string("A merged title wider than the columns below it");
  old[1][4] = std::string("A merged note, also wider than its column");
  SheetContent sheet{"Sheet1", old};
  sheet.merged = {"B1:C1", "E2:E3"};
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 30; ++i) {
    rows.push_back({Value(i), Value("b" + std::to_string(i * i)), Value(i * 0.25),
                    Value(std::string(static_cast<std::size_t>(1 + i % 9), 'd')), Value(i % 2 == 0),
                    Value(DateTime{44000.0 + i})});
  }
  Export e;
  e.top = 4;
  e.rows = rows;
  ColumnFitReport fit = ExpectSameWorkbook({sheet}, e, 34, 7);
  EXPECT_EQ(fit.measured_plainly, 3);
}

TEST(ColumnFitTest, CellsMergedFromLeftOfTheColumnsSendThemToTheOffice) {
  // A title merged across A:C, above a table in B:D: B and C hold merged
  // cells that start outside the fitted columns.
  std::vector<std::vector<Cell>> old(2, std::vector<Cell>(5, Cell{std::string()}));
  old[0][0] = std::string("A merged title from column A, wider than the columns below it");
  SheetContent sheet{"Sheet1", old};
  sheet.merged = {"A1:C1"};
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 30; ++i) {
    rows.push_back({Value(i * 13), Value(std::string(static_cast<std::size_t>(1 + i % 7), 'm')),
                    Value(i * 0.5)});
  }
  Export e;
  e.top = 3;
  e.left = 2;
  e.rows = rows;
  ColumnFitReport fit = ExpectSameWorkbook({sheet}, e, 33, 5);
  EXPECT_EQ(fit.measured_plainly, 2);
}

TEST(ColumnFitTest, CellsSentInBandsAreAllKnownToTheFitUpToTheMostKept) {
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 90; ++i) {
    rows.push_back({Value(i * 7919 % 1000),
                    Value(std::string(static_cast<std::size_t>(1 + i % 23), 'w')),
                    Value(DateTime{40000.0 + i})});
  }
  rows[77][1] = Value("the widest text, in a late band");
  Export e;
  e.heading = {"N", "Text", "Date"};
  e.rows = rows;
  UnoOptions options = Office().options;
  options.max_cells_per_transfer = 30;  // bands of ten records
  ColumnFitReport fit = ExpectSameWorkbook({{"Sheet1", {}}}, e, 92, 4, options);
  EXPECT_EQ(fit.measured_plainly, 0);
  EXPECT_EQ(fit.written_cells, 91 * 3);
  // Beyond the most cells kept none are, and every cell is measured.
  options.max_cells_kept_for_fit = 200;
  fit = ExpectSameWorkbook({{"Sheet1", {}}}, e, 92, 4, options);
  EXPECT_EQ(fit.measured_plainly, 3);
}

}  // namespace
}  // namespace kestrin::automation::uno::testing
