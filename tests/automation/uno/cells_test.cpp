// Values written through Goto + ActiveCell, with and without sending them in
// blocks: both must leave the same workbook.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <com/sun/star/util/NumberFormat.hpp>

#include "automation/failure.h"
#include "tests/support/japanese_text.h"
#include "tests/support/office_harness.h"

namespace kestrin::automation::uno::testing {
namespace {

namespace NF = css::util::NumberFormat;
using Kind = SavedBook::Kind;

class CellsTest : public ::testing::TestWithParam<bool> {
 protected:
  // The shared session sends cells in blocks; a second session on the same
  // office writes them one by one.
  std::shared_ptr<XlApplication> App() {
    if (GetParam()) return Office().app;
    UnoOptions options = Office().options;
    options.batch_cells = false;
    server_ = MakeUnoXlServer(options);
    return server_->GetObject();
  }
  std::unique_ptr<XlServer> server_;
};

// True when the .xls file holds a Boolean cell record (BOOLERR, 0x0205) for
// that cell (row and column from 0) with that value.
bool HasXlsBoolean(const fs::path& path, int row, int col, bool value) {
  std::ifstream in(path, std::ios::binary);
  std::string d((std::istreambuf_iterator<char>(in)), {});
  for (size_t i = 0; i + 12 <= d.size(); ++i) {
    auto u = [&](size_t k) { return static_cast<unsigned char>(d[i + k]); };
    if (u(0) == 0x05 && u(1) == 0x02 && u(3) == 0 && u(4) + 256 * u(5) == row &&
        u(6) + 256 * u(7) == col && u(10) == (value ? 1 : 0) && u(11) == 0) {
      return true;
    }
  }
  return false;
}

TEST_P(CellsTest, BooleansShowAsTrueAndFalseInXlsx) {
  auto app = App();
  fs::path path = NewPath("booleans", ".xlsx");
  MakeWorkbook(path, {{"Sheet1", {{"x"}}}});
  app->WorkbooksOpen(path.string());
  app->Goto("r2c1");
  app->ActiveCell()->SetValue(Value(true));
  app->Goto("r2c2");
  app->ActiveCell()->SetValue(Value(false));
  app->ActiveWorkbook()->Save();
  app->ActiveWorkbook()->Close(false);
  SavedBook saved(path);
  EXPECT_EQ(saved.At("Sheet1", "A2").shown, "TRUE");
  EXPECT_EQ(saved.At("Sheet1", "B2").shown, "FALSE");
  EXPECT_TRUE(saved.At("Sheet1", "B2").format_type & NF::LOGICAL);
}

void Put(XlApplication& app, int row, int col, const Value& v) {
  app.Goto("r" + std::to_string(row) + "c" + std::to_string(col));
  app.ActiveCell()->SetValue(v);
}

TEST_P(CellsTest, ValuesKeepTheirType) {
  auto app = App();
  fs::path path = NewPath("typed", ".xls");
  MakeWorkbook(path, {{"Data", {{"old", "old", "old"}, {"keep", 5.0}}}, {"Other", {{"x"}}}});
  app->WorkbooksOpen(path.string());
  app->ActiveWorkbook()->Sheets()->Item("Data")->Activate();
  const std::vector<Value> values = {Value("00123"),
                                     Value("=1+1"),
                                     Value("1.5"),
                                     Value(""),
                                     Value(true),
                                     Value(false),
                                     Value(42),
                                     Value(std::int64_t{9007199254740993}),
                                     Value(Currency{123456}),
                                     Value(-0.25),
                                     Value(DateTime{45000}),
                                     Value(DateTime{45000.75}),
                                     Value(DateTime{-1.25}),
                                     Value("日本語のテキスト"),
                                     Value(Binary{1, 2, 3})};
  for (size_t i = 0; i < values.size(); ++i) Put(*app, 3, static_cast<int>(i) + 1, values[i]);
  Put(*app, 1, 2, Null{});  // clears "old"
  app->ActiveWorkbook()->Save();
  app->ActiveWorkbook()->Close(false);

  SavedBook saved(path);
  auto at = [&](const char* a1) { return saved.At("Data", a1); };
  EXPECT_EQ(at("A3").kind, Kind::kText);
  EXPECT_EQ(at("A3").text, "00123");
  EXPECT_EQ(at("B3").kind, Kind::kText);
  EXPECT_EQ(at("B3").text, "=1+1");
  EXPECT_EQ(at("C3").kind, Kind::kText);
  EXPECT_EQ(at("C3").text, "1.5");
  EXPECT_EQ(at("D3").kind, Kind::kEmpty);
  // The office reads .xls Boolean cells back as plain numbers; the file
  // itself must hold true Boolean cells, as Excel writes them.
  EXPECT_EQ(at("E3").number, 1);
  EXPECT_EQ(at("F3").number, 0);
  EXPECT_TRUE(HasXlsBoolean(path, 2, 4, true));
  EXPECT_TRUE(HasXlsBoolean(path, 2, 5, false));
  EXPECT_EQ(at("G3").kind, Kind::kNumber);
  EXPECT_EQ(at("G3").number, 42);
  EXPECT_FALSE(at("G3").format_type & (NF::DATE | NF::LOGICAL));
  EXPECT_EQ(at("H3").number, 9007199254740992.0);  // nearest double
  EXPECT_DOUBLE_EQ(at("I3").number, 12.3456);
  EXPECT_EQ(at("J3").number, -0.25);
  EXPECT_EQ(at("K3").number, 45000);
  EXPECT_TRUE(at("K3").format_type & NF::DATE);
  EXPECT_EQ(at("K3").shown, "2023/3/15");
  EXPECT_EQ(at("L3").shown, "2023/3/15 18:00:00");
  EXPECT_FALSE(at("K3").format_type & NF::TIME);
  EXPECT_EQ(at("L3").number, 45000.75);
  EXPECT_EQ(at("L3").format_type & NF::DATETIME, NF::DATETIME);
  // The day before the epoch at 06:00 is -0.75 on the office's linear scale.
  EXPECT_DOUBLE_EQ(at("M3").number, -0.75);
  EXPECT_EQ(at("N3").text, "日本語のテキスト");
  EXPECT_EQ(at("O3").kind, Kind::kEmpty);
  EXPECT_EQ(at("A1").text, "old");
  EXPECT_EQ(at("B1").kind, Kind::kEmpty);
  EXPECT_EQ(at("C1").text, "old");
  EXPECT_EQ(at("A2").text, "keep");
  EXPECT_EQ(at("B2").number, 5);
  EXPECT_EQ(saved.At("Other", "A1").text, "x");
}

// Dates as a Japanese spreadsheet shows them, in both file formats; a cell
// whose format the user chose keeps it, as it would when given a date.
TEST_P(CellsTest, DatesDateTimesAndTimesInJapaneseStyleWhereTheFormatIsGeneral) {
  for (const char* ext : {".xls", ".xlsx"}) {
    SCOPED_TRACE(ext);
    auto app = App();
    fs::path path = NewPath("dates", ext);
    MakeWorkbook(path,
                 {{"Data", {{"head"}}, 0, {{"A4", "0.00"}, {"A6", "yyyy\"年\"m\"月\"d\"日\""}}}});
    app->WorkbooksOpen(path.string());
    for (int i = 0; i < 6; ++i) Put(*app, 2 + i, 1, Value(DateTime{45296.0 + i}));
    Put(*app, 2, 2, Value(DateTime{45296.5 + 1.0 / 86400}));
    Put(*app, 3, 2, Value(DateTime{-1.75}));  // the day before the epoch, 18:00
    Put(*app, 2, 3, Value(DateTime{0.75}));
    Put(*app, 3, 3, Value(DateTime{0}));  // midnight, a time of its own
    Put(*app, 4, 3, Value(DateTime{-0.25}));
    Put(*app, 5, 3, Value(DateTime{0.5 + 1.0 / 86400}));
    Put(*app, 2, 4, Value(DateTime{-1}));
    app->ActiveWorkbook()->Save();
    app->ActiveWorkbook()->Close(false);

    SavedBook saved(path);
    auto shown = [&](const char* a1) { return saved.At("Data", a1).shown; };
    EXPECT_EQ(shown("A2"), "2024/1/5");
    EXPECT_EQ(shown("A3"), "2024/1/6");
    EXPECT_EQ(shown("A4"), "45298.00");
    EXPECT_EQ(shown("A5"), "2024/1/8");
    EXPECT_EQ(shown("A6"), "2024年1月9日");
    EXPECT_EQ(shown("A7"), "2024/1/10");
    EXPECT_EQ(shown("B2"), "2024/1/5 12:00:01");
    EXPECT_EQ(shown("B3"), "1899/12/29 18:00:00");
    EXPECT_EQ(shown("C2"), "18:00:00");
    EXPECT_EQ(shown("C3"), "0:00:00");
    EXPECT_EQ(shown("C4"), "6:00:00");
    EXPECT_EQ(shown("C5"), "12:00:01");
    EXPECT_EQ(shown("D2"), "1899/12/29");
    // Tagged Japanese in the file, whatever the environment of the office.
    for (auto [a1, code] : {std::pair{"A2", "YYYY/M/D"},
                            {"B2", "YYYY/M/D H:MM:SS"},
                            {"C2", "H:MM:SS"},
                            {"D2", "YYYY/M/D"}}) {
      EXPECT_EQ(saved.At("Data", a1).format_code, code) << a1;
      EXPECT_EQ(saved.At("Data", a1).format_locale, "ja-JP") << a1;
    }
    EXPECT_EQ(saved.At("Data", "A2").number, 45296);
    EXPECT_EQ(saved.At("Data", "C3").kind, Kind::kNumber);
  }
}

TEST_P(CellsTest, RowStepLeavesRowsBetweenRecordsUntouchedAndSelectionOnLastCell) {
  auto app = App();
  fs::path path = NewPath("rowstep", ".xls");
  std::vector<std::vector<Cell>> rows(12, std::vector<Cell>(4, Cell{std::string("keep")}));
  MakeWorkbook(path, {{"Sheet1", rows}});
  app->WorkbooksOpen(path.string());
  // A heading at row 2 and three records every third row, columns B to D.
  for (int c = 2; c <= 4; ++c) Put(*app, 2, c, Value("H" + std::to_string(c)));
  for (int k = 0; k < 3; ++k) {
    for (int c = 2; c <= 4; ++c) Put(*app, 3 + 3 * k, c, Value(k * 10 + c));
  }
  auto selection = app->Selection();
  // Written through the selection: it rests on the last cell, D9.
  app->Range("A20")->Select();
  app->Goto("r9c4");
  app->ActiveCell();
  auto sheet = app->ActiveSheet();  // any other call sends the cells
  app->ActiveWorkbook()->Save();
  app->ActiveWorkbook()->Close(false);

  SavedBook saved(path);
  EXPECT_EQ(saved.At("Sheet1", "B2").text, "H2");
  EXPECT_EQ(saved.At("Sheet1", "D3").number, 4);
  EXPECT_EQ(saved.At("Sheet1", "C9").number, 23);
  for (const char* untouched : {"A2", "A3", "B4", "C5", "D7", "D8", "B10", "D12", "A1"}) {
    EXPECT_EQ(saved.At("Sheet1", untouched).text, "keep") << untouched;
  }
}

TEST_P(CellsTest, SelectionIsTheLastCellGoneTo) {
  auto app = App();
  fs::path path = NewPath("selection", ".xls");
  MakeWorkbook(path, {{"Sheet1", {{"a"}}}});
  app->WorkbooksOpen(path.string());
  Put(*app, 4, 2, Value(1));
  Put(*app, 4, 3, Value(2));
  Put(*app, 5, 2, Value(3));
  // Borders on the selection land on the last written cell only.
  app->Selection()->Borders(xl::kEdgeTop)->SetLineStyle(xl::kContinuous);
  app->ActiveWorkbook()->Save();
  app->ActiveWorkbook()->Close(false);
  SavedBook saved(path);
  EXPECT_GT(saved.Lines("Sheet1", "B5")[1], 0);
  EXPECT_EQ(saved.Lines("Sheet1", "C4")[1], 0);
  EXPECT_EQ(saved.Lines("Sheet1", "B4")[1], 0);
  EXPECT_EQ(saved.At("Sheet1", "B5").number, 3);
}

TEST_P(CellsTest, TheActiveCellTakesEveryRangeCall) {
  auto app = App();
  fs::path path = NewPath("activecell", ".xls");
  MakeWorkbook(path, {{"Sheet1", {{"a", "b", "c"}}}, {"Sheet2", {}}});
  app->WorkbooksOpen(path.string());
  app->ActiveWorkbook()->Sheets()->Item("Sheet2")->Activate();
  app->Goto("r1c2");
  app->ActiveCell()->SetValue(Value("x"));
  app->ActiveCell()->Borders(xl::kEdgeBottom)->SetLineStyle(xl::kContinuous);
  app->ActiveWorkbook()->Sheets()->Item("Sheet1")->Activate();
  app->Goto("r1c3");
  app->ActiveCell()->Clear();
  app->Range("A1")->Select();
  app->ActiveCell()->SetValue(Value("selected"));
  app->ActiveWorkbook()->Save();
  app->ActiveWorkbook()->Close(false);
  SavedBook saved(path);
  EXPECT_EQ(saved.At("Sheet2", "B1").text, "x");
  EXPECT_GT(saved.Lines("Sheet2", "B1")[3], 0);
  EXPECT_EQ(saved.At("Sheet1", "A1").text, "selected");
  EXPECT_EQ(saved.At("Sheet1", "B1").text, "b");
  EXPECT_EQ(saved.At("Sheet1", "C1").kind, Kind::kEmpty);
}

TEST_P(CellsTest, BadReferencesAreErrorsAndWriteNothing) {
  auto app = App();
  fs::path path = NewPath("badref", ".xls");
  MakeWorkbook(path, {{"Sheet1", {{"a"}}}});
  app->WorkbooksOpen(path.string());
  for (const char* bad : {"r0c1", "A1", "r1c99999", "r1048577c1", ""}) {
    try {
      app->Goto(bad);
      ADD_FAILURE() << bad;
    } catch (const AutomationError& e) {
      EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
      EXPECT_EQ(e.number(), 1004) << bad;
    }
  }
  EXPECT_THROW(app->Range("B3:"), AutomationError);
  // An .xls sheet ends at row 65536 and column IV.
  EXPECT_THROW(app->Goto("r65537c1"), AutomationError);
  EXPECT_THROW(app->Goto("r1c257"), AutomationError);
  EXPECT_THROW(app->Range("A1:IW2"), AutomationError);
  EXPECT_THROW(app->Rows("1:65537"), AutomationError);
  EXPECT_THROW(app->Columns("A:IW"), AutomationError);
  app->Goto("r65536c256");
  app->ActiveCell()->SetValue(Value("last cell"));
  app->Columns("A:IV")->AutoFit();
  EXPECT_THROW(app->Rows("x:y"), AutomationError);
  app->ActiveWorkbook()->Close(false);
}

TEST_P(CellsTest, TextTooLongForACellIsRefusedNotCut) {
  auto app = App();
  fs::path path = NewPath("long-text", ".xls");
  MakeWorkbook(path, {{"Sheet1", {{"x"}}}});
  app->WorkbooksOpen(path.string());
  app->Goto("r2c1");
  app->ActiveCell()->SetValue(Value(std::string(32767, 'a')));
  app->Goto("r3c2");
  try {
    // 32,766 units of text plus one character outside the BMP: 32,768.
    app->ActiveCell()->SetValue(Value(std::string(32766, 'b') + "\xF0\x9F\x98\x80"));
    FAIL() << "a text longer than a cell holds must be refused";
  } catch (const AutomationError& e) {
    EXPECT_EQ(testsupport::EnglishWord(e.description()), "") << e.description();
    EXPECT_EQ(e.number(), 1004);
    EXPECT_NE(e.description().find("R3C2"), std::string::npos) << e.description();
  }
  app->ActiveWorkbook()->Save();
  app->ActiveWorkbook()->Close(false);
  SavedBook saved(path);
  EXPECT_EQ(saved.At("Sheet1", "A2").text.size(), 32767u);
  EXPECT_EQ(saved.At("Sheet1", "B3").kind, Kind::kEmpty);
}

TEST(CellBlocksTest, BlocksLargerThanOneTransferArriveWhole) {
  UnoOptions options = Office().options;
  options.max_cells_per_transfer = 7;  // bands of two rows of three cells
  auto app = MakeUnoXlServer(options)->GetObject();
  fs::path path = NewPath("bands", ".xls");
  MakeWorkbook(path, {{"Sheet1", {{"a"}}}});
  app->WorkbooksOpen(path.string());
  for (int r = 1; r <= 11; ++r) {
    for (int c = 2; c <= 4; ++c) {
      app->Goto("r" + std::to_string(r) + "c" + std::to_string(c));
      app->ActiveCell()->SetValue(c == 3 ? Value(DateTime{45000.0 + r}) : Value(r * 10 + c));
    }
  }
  app->ActiveWorkbook()->Save();
  app->ActiveWorkbook()->Close(false);
  SavedBook saved(path);
  for (int r = 1; r <= 11; ++r) {
    EXPECT_EQ(saved.At("Sheet1", "B" + std::to_string(r)).number, r * 10 + 2) << r;
    EXPECT_EQ(saved.At("Sheet1", "C" + std::to_string(r)).number, 45000.0 + r) << r;
    EXPECT_TRUE(saved.At("Sheet1", "C" + std::to_string(r)).format_type & NF::DATE) << r;
    EXPECT_EQ(saved.At("Sheet1", "D" + std::to_string(r)).number, r * 10 + 4) << r;
  }
  EXPECT_EQ(saved.At("Sheet1", "B12").kind, Kind::kEmpty);
  EXPECT_EQ(saved.At("Sheet1", "A1").text, "a");
}

// Rows of a table sent in large blocks end up as high as when each value
// went on its own: rows of a height of their own keep it, the others fit
// their cells (lines of a text, dates), whether another sheet, a row fit or
// the save comes next.
TEST(CellBlocksTest, RowsEndAsHighAsWhenEachValueWentOnItsOwn) {
  auto heights = [](bool batch) {
    UnoOptions options = Office().options;
    options.batch_cells = batch;
    options.max_cells_per_transfer = 120;  // bands of 40 rows of three cells
    auto server = MakeUnoXlServer(options);
    auto app = server->GetObject();
    fs::path path = NewPath(batch ? "heights-blocks" : "heights-one-by-one", ".xls");
    MakeWorkbook(path,
                 {{"Auto", {{"x"}}},
                  {"Own", std::vector<std::vector<Cell>>(30, {Cell{std::string("y")}}), 1500},
                  {"Fitted", std::vector<std::vector<Cell>>(30, {Cell{std::string("z")}}), 1500}});
    app->WorkbooksOpen(path.string());
    for (const char* sheet : {"Auto", "Own", "Fitted"}) {
      app->ActiveWorkbook()->Sheets()->Item(sheet)->Activate();
      for (int r = 2; r <= 81; ++r) {
        Put(*app, r, 1, r % 5 == 0 ? Value("first line\nsecond line\nthird line") : Value("one"));
        Put(*app, r, 2, Value(r));
        Put(*app, r, 3, Value(DateTime{45000.5 + r}));
      }
      if (std::string(sheet) == "Fitted") app->Rows("2:81")->AutoFit();
    }
    app->ActiveWorkbook()->Save();
    app->ActiveWorkbook()->Close(false);
    SavedBook saved(path);
    std::map<std::string, std::vector<int>> out;
    for (const char* sheet : {"Auto", "Own", "Fitted"}) {
      for (int r = 0; r < 85; ++r) out[sheet].push_back(saved.RowHeight(sheet, r));
    }
    return out;
  };
  const auto one_by_one = heights(false);
  const auto blocks = heights(true);
  for (const char* sheet : {"Auto", "Own", "Fitted"}) {
    SCOPED_TRACE(sheet);
    EXPECT_EQ(blocks.at(sheet), one_by_one.at(sheet));
  }
  // The comparison means something: texts of three lines make rows higher,
  // and rows of a height of their own keep it.
  EXPECT_GT(blocks.at("Auto")[4], blocks.at("Auto")[5] + 300);  // row 5 holds three lines
  EXPECT_EQ(blocks.at("Own")[5], blocks.at("Own")[4]);
  EXPECT_GT(blocks.at("Own")[5], blocks.at("Auto")[5] + 300);
  EXPECT_NE(blocks.at("Fitted")[5], blocks.at("Own")[5]);
}

// The rows of a large block owe the office's adjustment of their heights; a
// row fit over them pays it, so the office does not measure them twice. Its
// adjustment is a change of its own, which the document's undo list shows.
TEST(CellBlocksTest, ARowFitOverWrittenRowsSparesTheirLaterAdjustment) {
  auto undo_titles = [](bool fit) {
    auto server = MakeUnoXlServer(Office().options);
    auto app = server->GetObject();
    fs::path path = NewPath(fit ? "owed-fitted" : "owed-left", ".xls");
    MakeWorkbook(path, {{"Data", {{"x"}}}});
    app->WorkbooksOpen(path.string());
    for (int r = 2; r <= 81; ++r) {
      Put(*app, r, 1, Value("one"));
      Put(*app, r, 2, Value(r));
    }
    // Finding the rows and asking for the sheet leave the adjustment owed.
    app->ActiveSheet()->Name();
    if (fit) app->Rows("1:90")->AutoFit();
    app->ActiveWorkbook()->Save();
    auto titles = UndoTitlesInOffice(path);
    app->ActiveWorkbook()->Close(false);
    std::sort(titles.begin(), titles.end());
    return titles;
  };
  const auto left = undo_titles(false);
  const auto fitted = undo_titles(true);
  std::vector<std::string> only_left;
  std::set_difference(left.begin(), left.end(), fitted.begin(), fitted.end(),
                      std::back_inserter(only_left));
  EXPECT_EQ(only_left.size(), 1u) << "the adjustment the save made for rows left unfitted";
}

INSTANTIATE_TEST_SUITE_P(Batching, CellsTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Blocks" : "OneByOne"; });

}  // namespace
}  // namespace kestrin::automation::uno::testing
