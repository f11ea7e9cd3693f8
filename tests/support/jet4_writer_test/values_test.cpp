// Values of every column type, read back by libmdb and by mdb-export, and
// the descriptions the writer must refuse.
#include <cmath>
#include <limits>

#include "tests/support/jet4_writer_test/writer_fixture.h"

namespace kestrin::testsupport {
namespace {

using automation::Binary;
using automation::Currency;
using automation::DateTime;
using automation::Value;
using T = AccessType;

Jet4Table AllTypes() {
  Jet4Table t;
  t.name = "AllTypes";
  t.columns = {{"Flag", T::kBoolean}, {"Small", T::kByte},     {"Int", T::kInteger},
               {"Big", T::kLong},     {"Money", T::kCurrency}, {"Single", T::kSingle},
               {"Real", T::kDouble},  {"When", T::kDateTime},  {"Name", T::kText, 40},
               {"Notes", T::kMemo},   {"Blob", T::kOle},       {"Id", T::kGuid},
               {"Raw", T::kBinary, 8}};
  return t;
}

class Jet4WriterValuesTest : public WriterTest {};

TEST_F(Jet4WriterValuesTest, EveryTypeReadsBackExactlyThroughLibmdb) {
  Jet4Database db;
  Jet4Table t = AllTypes();
  t.rows.push_back({true, 255, -32768, std::int64_t{-2147483647 - 1}, Currency{-922337203685477},
                    1.5, 0.1, DateTime{-1.25}, "Grüße €", "memo text", Binary{0, 1, 2, 255},
                    "{01234567-89AB-CDEF-0123-456789ABCDEF}", Binary{9, 8, 7}});
  t.rows.push_back({false, 0, 32767, std::int64_t{2147483647}, Currency{123456789},
                    std::numeric_limits<double>::infinity(), -1e300, DateTime{45000.75}, "", "",
                    Binary{}, Binary(16, 0xAB), Binary{}});
  t.rows.push_back({false, Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value(),
                    Value(), Value(), Value(), Value()});
  db.tables.push_back(t);
  ProbedTable got = ProbeTable(Write(db), "AllTypes");

  ASSERT_EQ(got.rows.size(), 3u);
  EXPECT_EQ(got.num_rows, 3u);
  const auto& r0 = got.rows[0];
  EXPECT_EQ(r0[0], Value(true));
  EXPECT_EQ(r0[1], Value(255));
  EXPECT_EQ(r0[2], Value(-32768));
  EXPECT_EQ(r0[3], Value(std::int64_t{-2147483647 - 1}));
  EXPECT_EQ(r0[4], Value(Currency{-922337203685477}));
  EXPECT_EQ(r0[5], Value(1.5));
  EXPECT_EQ(r0[6], Value(0.1));
  EXPECT_EQ(r0[7], Value(DateTime{-1.25}));
  EXPECT_EQ(r0[8], Value("Grüße €"));
  EXPECT_EQ(r0[9], Value("memo text"));
  EXPECT_EQ(r0[10], Value(Binary{0, 1, 2, 255}));
  // Data1..Data3 little-endian, the rest in order.
  EXPECT_EQ(r0[11], Value(Binary{0x67, 0x45, 0x23, 0x01, 0xAB, 0x89, 0xEF, 0xCD, 0x01, 0x23, 0x45,
                                 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
  EXPECT_EQ(r0[12], Value(Binary{9, 8, 7}));

  const auto& r1 = got.rows[1];
  EXPECT_EQ(r1[0], Value(false));
  EXPECT_EQ(r1[3], Value(std::int64_t{2147483647}));
  EXPECT_TRUE(std::isinf(r1[5].real()));
  EXPECT_EQ(r1[6], Value(-1e300));
  EXPECT_EQ(r1[8], Value(""));  // empty text is not null
  EXPECT_EQ(r1[9], Value(""));
  EXPECT_EQ(r1[10], Value(Binary{}));
  EXPECT_EQ(r1[11], Value(Binary(16, 0xAB)));

  for (std::size_t i = 1; i < got.rows[2].size(); ++i)
    EXPECT_TRUE(got.rows[2][i].is_null()) << got.columns[i].name;
  EXPECT_EQ(got.rows[2][0], Value(false));
}

class Jet4WriterExportTest : public WriterTest {};

TEST_F(Jet4WriterExportTest, FixedOnlyRowsCarryNoOffsetTable) {
  Jet4Database db;
  Jet4Table t;
  t.name = "Fixed";
  t.columns = {{"N", T::kLong}, {"Yes", T::kBoolean}, {"X", T::kDouble}};
  t.rows = {{std::int64_t{-5}, true, 2.5}, {Value(), false, Value()}};
  db.tables.push_back(t);
  auto file = Write(db);
  ProbedTable got = ProbeTable(file, "Fixed");
  EXPECT_EQ(got.rows, t.rows);
  // Column count, 4 + 8 fixed bytes, one null-mask byte: nothing else.
  EXPECT_EQ(got.row_sizes, (std::vector<std::size_t>{15, 15}));
  EXPECT_EQ(Lines(Tool("mdb-export", file, "Fixed")),
            (std::vector<std::string>{"N,Yes,X", "-5,1,2.5", ",0,"}));
}

TEST_F(Jet4WriterExportTest, MdbExportPrintsEveryType) {
  Jet4Database db;
  Jet4Table t = AllTypes();
  t.rows.push_back({true, 7, -3, std::int64_t{100000}, Currency{12345}, 1.25, 3.5,
                    DateTime{45000.25}, "Ann \"the\" one", "a memo", Binary{1, 2, 3},
                    "{01234567-89AB-CDEF-0123-456789ABCDEF}", Binary{0xCA, 0xFE}});
  t.rows.push_back({false, Value(), Value(), Value(), Value(), Value(), Value(), Value(), Value(),
                    Value(), Value(), Value(), Value()});
  db.tables.push_back(t);
  auto file = Write(db);
  auto lines = Lines(Tool("mdb-export -b hex", file, "AllTypes"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Flag,Small,Int,Big,Money,Single,Real,When,Name,Notes,Blob,Id,Raw");
  EXPECT_EQ(lines[1],
            "1,7,-3,100000,1.2345,1.25,3.5,\"03/15/23 06:00:00\",\"Ann \"\"the\"\" one\","
            "\"a memo\",\"010203\","
            "\"7B30313233343536372D383941422D434445462D303132333435363738394142434445467D\","
            "\"CAFE\"");
  EXPECT_EQ(lines[2], "0,,,,,,,,,,,,");

  std::string schema = Tool("mdb-schema -T AllTypes", file);
  for (const char* decl :
       {"[Flag]\t\t\tBoolean NOT NULL", "[Small]\t\t\tByte", "[Int]\t\t\tInteger",
        "[Big]\t\t\tLong Integer", "[Money]\t\t\tCurrency", "[Single]\t\t\tSingle",
        "[Real]\t\t\tDouble", "[When]\t\t\tDateTime", "[Name]\t\t\tText (40)",
        "[Notes]\t\t\tMemo/Hyperlink (255)", "[Blob]\t\t\tOLE (255)", "[Id]\t\t\tReplication ID",
        "[Raw]\t\t\tBinary"})
    EXPECT_NE(schema.find(decl), std::string::npos) << decl << "\n" << schema;
}

class Jet4WriterTextTest : public WriterTest {};

TEST_F(Jet4WriterTextTest, SurrogatePairsAndCompressionAreStoredAsJetStoresThem) {
  Jet4Database db;
  Jet4Table t;
  t.name = "Texts";
  t.columns = {
      {"Plain", T::kText, 10}, {"Packed", T::kText, 10, true}, {"Memo", T::kMemo, 255, true}};
  t.rows.push_back({"😀é", "abcdé", "hello"});  // the emoji takes two of the ten units
  t.rows.push_back({"ab", "ab", "日本語"});    // two letters: compression would not save bytes
  t.rows.push_back({"x", "abc日本def", "Āabcdefg"});   // mixed runs; U+0100 cannot be compressed
  t.rows.push_back({"x", "a日b本c", "日本語abcdef"});  // switching would not pay
  db.tables.push_back(t);
  auto file = Write(db);
  ProbedTable got = ProbeTable(file, "Texts");
  std::string exported = Tool("mdb-export", file, "Texts");

  ASSERT_EQ(got.rows.size(), 4u);
  EXPECT_EQ(got.rows[0][0], Value("😀é"));
  EXPECT_EQ(got.raw[0][0], (Binary{0x3D, 0xD8, 0x00, 0xDE, 0xE9, 0x00}));
  EXPECT_EQ(got.rows[0][1], Value("abcdé"));
  EXPECT_EQ(got.raw[0][1], (Binary{0xFF, 0xFE, 'a', 'b', 'c', 'd', 0xE9}));
  EXPECT_EQ(got.raw[0][2], (Binary{0xFF, 0xFE, 'h', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ(got.raw[1][1], (Binary{'a', 0, 'b', 0}));
  EXPECT_EQ(got.rows[1][2], Value("日本語"));
  EXPECT_EQ(got.raw[1][2], (Binary{0xE5, 0x65, 0x2C, 0x67, 0x9E, 0x8A}));
  EXPECT_EQ(got.rows[2][1], Value("abc日本def"));
  EXPECT_EQ(got.raw[2][1],
            (Binary{0xFF, 0xFE, 'a', 'b', 'c', 0x00, 0xE5, 0x65, 0x2C, 0x67, 0x00, 'd', 'e', 'f'}));
  EXPECT_EQ(got.rows[2][2], Value("Āabcdefg"));
  EXPECT_EQ(got.raw[2][2].size(), 16u);
  EXPECT_EQ(got.rows[3][1], Value("a日b本c"));
  EXPECT_EQ(got.raw[3][1].size(), 10u);  // plain UCS-2
  EXPECT_EQ(got.rows[3][2], Value("日本語abcdef"));
  EXPECT_EQ(got.raw[3][2], (Binary{0xFF, 0xFE, 0x00, 0xE5, 0x65, 0x2C, 0x67, 0x9E, 0x8A, 0x00, 'a',
                                   'b', 'c', 'd', 'e', 'f'}));
  EXPECT_NE(exported.find("\"x\",\"abc日本def\",\"Āabcdefg\""), std::string::npos) << exported;
  EXPECT_NE(exported.find("\"a日b本c\",\"日本語abcdef\""), std::string::npos) << exported;
  // libmdb's own conversion reads the compressed forms too.
  EXPECT_NE(exported.find("\"abcdé\",\"hello\""), std::string::npos) << exported;
}

TEST(Jet4WriterRefusalTest, BadDescriptionsAreRefusedWithTheirPlace) {
  auto refuse = [](const Jet4Database& db, const std::string& expected) {
    try {
      BuildJet4Database(db);
      ADD_FAILURE() << "no error, expected one mentioning: " << expected;
    } catch (const Jet4WriteError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
  };
  auto one = [](std::vector<Jet4Column> cols, std::vector<Value> row) {
    Jet4Database db;
    db.tables.push_back({"T", std::move(cols), {std::move(row)}, std::nullopt});
    return db;
  };
  refuse(one({{"B", T::kBoolean}}, {Value()}), "row 1, column 'B' (Boolean)");
  refuse(one({{"X", T::kByte}}, {256}), "out of range");
  refuse(one({{"X", T::kByte}}, {-1}), "out of range");
  refuse(one({{"X", T::kInteger}}, {40000}), "out of range");
  refuse(one({{"X", T::kLong}}, {std::int64_t{1} << 31}), "out of range");
  refuse(one({{"X", T::kSingle}}, {1e300}), "out of range for a Single");
  refuse(one({{"X", T::kCurrency}}, {1.5}), "needs a Currency");
  refuse(one({{"X", T::kDateTime}}, {1.5}), "needs a DateTime");
  refuse(one({{"X", T::kText, 3}}, {"abcd"}), "longer than 3 characters");
  refuse(one({{"X", T::kText, 2}}, {"a😀"}), "longer than 2 characters");
  refuse(one({{"X", T::kText}}, {std::string("\xC3\x28")}), "not valid UTF-8");
  refuse(one({{"X", T::kText}}, {std::string("\xED\xA0\x80")}), "not valid UTF-8");
  refuse(one({{"X", T::kText, 0}}, {"a"}), "outside 1..255");
  refuse(one({{"X", T::kGuid}}, {"{0123}"}), "needs a GUID");
  refuse(one({{"X", T::kGuid}}, {Binary(15, 0)}), "needs 16 bytes");
  refuse(one({{"X", T::kBinary, 2}}, {Binary(3, 0)}), "longer than 2 bytes");
  refuse(one({{"X", T::kDecimal}}, {1}), "cannot be written");
  refuse(one({{"X", T::kLong}, {"x", T::kLong}}, {1, 2}), "a second column named 'x'");
  refuse(one({{"X", T::kLong}}, {1, 2}), "2 values for 1 columns");
  refuse(one({}, {}), "no columns");
  std::vector<Jet4Column> wide;
  std::vector<Value> full;
  for (int i = 0; i < 20; ++i) {
    wide.push_back({"C" + std::to_string(i), T::kText, 255});
    full.push_back(std::string(255, 'z'));
  }
  refuse(one(wide, full), "more than a page holds");

  Jet4Database dup;
  dup.tables.push_back({"Orders", {{"A", T::kLong}}, {}, std::nullopt});
  dup.queries.push_back({"ORDERS", 0, {}});
  refuse(dup, "query 'ORDERS': the name is already used");
  Jet4Database sys;
  sys.tables.push_back({"msysobjects", {{"A", T::kLong}}, {}, std::nullopt});
  refuse(sys, "already used");
  Jet4Database bad_attr;
  bad_attr.queries.push_back({"Q", 0, {{256, "", 0, "", "", 0}}});
  refuse(bad_attr, "attribute 256");
}

}  // namespace
}  // namespace kestrin::testsupport
