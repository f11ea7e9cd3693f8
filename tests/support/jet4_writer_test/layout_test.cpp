// Page layout at the sizes tests and benchmarks need: many rows, wide tables
// whose definition spans pages, and long values inline, on one LVAL row and
// chained over several pages.
#include <chrono>

#include "tests/support/jet4_writer_test/writer_fixture.h"

namespace kestrin::testsupport {
namespace {

using automation::Binary;
using automation::Currency;
using automation::DateTime;
using automation::Value;
using T = AccessType;

Jet4Table Numbers(const std::string& name, int rows) {
  Jet4Table t;
  t.name = name;
  t.columns = {{"N", T::kLong},        {"Label", T::kText, 20}, {"Even", T::kBoolean},
               {"Half", T::kDouble},   {"Money", T::kCurrency}, {"Day", T::kDateTime},
               {"Small", T::kInteger}, {"Tiny", T::kByte},      {"Ratio", T::kSingle},
               {"Maybe", T::kText, 10}};
  for (int i = 0; i < rows; ++i)
    t.rows.push_back({std::int64_t{i}, "row " + std::to_string(i), i % 2 == 0, i / 2.0,
                      Currency{std::int64_t{i} * 10001}, DateTime{40000.0 + i}, i % 30000, i % 256,
                      static_cast<double>(static_cast<float>(i) / 4.0f),
                      i % 3 == 0 ? Value() : Value("m" + std::to_string(i % 7))});
  return t;
}

class Jet4WriterRowsTest : public WriterTest {};

TEST_F(Jet4WriterRowsTest, RowCountsFromNoneToTheBenchmarkSizeReadBack) {
  Jet4Database db;
  for (int n : {0, 1, 250}) db.tables.push_back(Numbers("T" + std::to_string(n), n));
  auto file = Write(db);
  for (const Jet4Table& want : db.tables) {
    SCOPED_TRACE(want.name);
    ProbedTable got = ProbeTable(file, want.name);
    EXPECT_EQ(got.num_rows, want.rows.size());
    EXPECT_EQ(got.rows, want.rows);
    EXPECT_EQ(Lines(Tool("mdb-export", file, want.name)).size(), want.rows.size() + 1);
  }
}

TEST_F(Jet4WriterRowsTest, ThirtyTwoThousandRowsAreQuickAndComplete) {
  Jet4Database db;
  db.tables.push_back(Numbers("Big", 32767));
  auto start = std::chrono::steady_clock::now();
  auto file = Write(db);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 2.0);
  RecordProperty("write_seconds", std::to_string(seconds));

  ProbedTable got = ProbeTable(file, "Big");
  EXPECT_EQ(got.num_rows, 32767u);
  ASSERT_EQ(got.rows.size(), 32767u);
  EXPECT_EQ(got.rows, db.tables[0].rows);
  // The table spreads over more pages than an inline usage map covers.
  EXPECT_EQ(got.usage_map_type, 1);
  auto lines = Lines(Tool("mdb-export", file, "Big"));
  ASSERT_EQ(lines.size(), 32768u);
  EXPECT_EQ(lines[32767].substr(0, 19), "32766,\"row 32766\",1");
}

TEST_F(Jet4WriterRowsTest, SmallTablesUseAnInlineUsageMap) {
  Jet4Database db;
  db.tables.push_back(Numbers("Few", 40));
  EXPECT_EQ(ProbeTable(Write(db), "Few").usage_map_type, 0);
}

class Jet4WriterWideTest : public WriterTest, public ::testing::WithParamInterface<int> {};

TEST_P(Jet4WriterWideTest, WideTablesKeepEveryColumnAndValue) {
  const int width = GetParam();
  Jet4Table t;
  t.name = "Wide" + std::to_string(width);
  for (int c = 0; c < width; ++c) {
    static constexpr T kTypes[] = {T::kLong, T::kText, T::kBoolean, T::kDouble, T::kMemo};
    t.columns.push_back({"Column number " + std::to_string(c), kTypes[c % 5], 12});
  }
  auto cell = [](int r, int c) -> Value {
    switch (c % 5) {
      case 0:
        return Value(std::int64_t{r * 1000 + c});
      case 1:
        return Value("r" + std::to_string(r) + "c" + std::to_string(c));
      case 2:
        return Value((r + c) % 2 == 0);
      case 3:
        return r == 1 ? Value() : Value(c + 0.5);
      default:
        return Value("memo " + std::to_string(c));
    }
  };
  for (int r = 0; r < 3; ++r) {
    std::vector<Value> row;
    for (int c = 0; c < width; ++c) row.push_back(cell(r, c));
    t.rows.push_back(std::move(row));
  }
  Jet4Database db;
  db.tables.push_back(t);
  auto file = Write(db);

  ProbedTable got = ProbeTable(file, t.name);
  ASSERT_EQ(got.columns.size(), static_cast<std::size_t>(width));
  for (int c = 0; c < width; ++c) EXPECT_EQ(got.columns[c].name, t.columns[c].name);
  EXPECT_EQ(got.rows, t.rows);

  std::string schema = Tool("mdb-schema -T " + t.name, file);
  EXPECT_NE(schema.find("[Column number " + std::to_string(width - 1) + "]"), std::string::npos);
  auto lines = Lines(Tool("mdb-export", file, t.name));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1].substr(0, 9), "0,\"r0c1\",");
}

INSTANTIATE_TEST_SUITE_P(Widths, Jet4WriterWideTest, ::testing::Values(52, 53, 120, 255));

class Jet4WriterLongValueTest : public WriterTest {};

TEST_F(Jet4WriterLongValueTest, MemosAndOleInlineOnOnePageAndChained) {
  std::string letters;
  for (int i = 0; i < 30000; ++i) letters.push_back(static_cast<char>('a' + i % 26));
  Binary bytes(20000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  Jet4Table t;
  t.name = "Longs";
  t.columns = {{"Id", T::kLong}, {"Memo", T::kMemo}, {"Ole", T::kOle}};
  // 30 characters stay inline (60 bytes); 1,000 characters fit one LVAL row;
  // 30,000 characters (60,000 bytes) need a chain over 15 pages.
  t.rows.push_back({1, letters.substr(0, 30), Binary(bytes.begin(), bytes.begin() + 50)});
  t.rows.push_back({2, letters.substr(0, 1000), Binary(bytes.begin(), bytes.begin() + 4000)});
  t.rows.push_back({3, letters, bytes});
  t.rows.push_back({4, "日本語😀" + letters.substr(0, 5000), Value()});
  Jet4Database db;
  db.tables.push_back(t);
  auto file = Write(db);

  ProbedTable got = ProbeTable(file, "Longs");
  ASSERT_EQ(got.rows.size(), 4u);
  EXPECT_EQ(got.rows, t.rows);
  auto lines = Lines(Tool("mdb-export -b strip", file, "Longs"));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[3].substr(0, 4), "3,\"a");
  // mdb-export prints whole memos: 30,000 letters plus the quotes.
  EXPECT_EQ(lines[3].find('"', 3), 3u + 30000u);
}

TEST_F(Jet4WriterLongValueTest, ARowThatWouldOverflowMovesItsLongValuesOut) {
  Jet4Table t;
  t.name = "Crowded";
  std::vector<Value> row;
  for (int c = 0; c < 80; ++c) {
    t.columns.push_back({"M" + std::to_string(c), T::kMemo});
    row.push_back(std::string(60, static_cast<char>('A' + c % 26)));  // 120 bytes each
  }
  t.rows.push_back(row);
  Jet4Database db;
  db.inline_long_value_limit = 200;
  db.tables.push_back(t);
  ProbedTable got = ProbeTable(Write(db), "Crowded");
  ASSERT_EQ(got.rows.size(), 1u);
  EXPECT_EQ(got.rows[0], row);
}

}  // namespace
}  // namespace kestrin::testsupport

namespace kestrin::testsupport {
namespace {

class Jet4WriterDeletedRowTest : public WriterTest {};

TEST_F(Jet4WriterDeletedRowTest, DeletedAndMovedRowsAreStoredAsAccessStoresThem) {
  Jet4Table t;
  t.name = "Gone";
  t.columns = {{"N", AccessType::kLong}, {"S", AccessType::kText, 10}};
  for (int i = 0; i < 300; ++i) t.rows.push_back({std::int64_t{i}, "s" + std::to_string(i)});
  t.deleted_rows = {0, 1, 150, 299};
  t.moved_rows = {2, 200};
  Jet4Database db;
  db.tables.push_back(t);
  auto file = Write(db);
  ProbedTable got = ProbeTable(file, "Gone");
  EXPECT_EQ(got.num_rows, 296u);
  EXPECT_EQ(got.deleted_slots, 4u);
  EXPECT_EQ(got.moved_rows, 2u);
  std::vector<std::vector<automation::Value>> want;
  for (std::size_t i = 0; i < t.rows.size(); ++i)
    if (i != 0 && i != 1 && i != 150 && i != 299) want.push_back(t.rows[i]);
  EXPECT_EQ(got.rows, want);  // moved rows keep their place in the scan

  // What mdbtools 1.0 makes of it: deleted rows are gone, moved rows come
  // last (at the place their data went).
  auto lines = Lines(Tool("mdb-export", file, "Gone"));
  ASSERT_EQ(lines.size(), 297u);
  EXPECT_EQ(lines[1], "3,\"s3\"");
  EXPECT_EQ(lines[295], "2,\"s2\"");
  EXPECT_EQ(lines[296], "200,\"s200\"");

  for (auto bad : {std::vector<std::size_t>{300}, std::vector<std::size_t>{0}}) {
    Jet4Table wrong = t;
    wrong.moved_rows = bad;  // beyond the rows, or already deleted
    db.tables = {wrong};
    EXPECT_THROW(BuildJet4Database(db), Jet4WriteError);
  }
}

}  // namespace
}  // namespace kestrin::testsupport
