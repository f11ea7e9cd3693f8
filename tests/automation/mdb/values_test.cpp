// Typed values that mdb-export cannot show faithfully, checked against known
// values: characters outside the BMP, dates before 1900 and Date/Time
// Extended, exact currency and decimals, GUIDs, fields this reader refuses,
// and (in files written by the test writer) long memos and OLE objects on
// chains of pages, empty texts, deleted and moved rows, linked tables,
// complex fields, protected files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "automation/failure.h"
#include "automation/mdb/jet_text.h"
#include "automation/mdb/mdb_access.h"
#include "automation/messages.h"
#include "tests/automation/mdb/query/fake_tables.h"
#include "tests/support/jet4_writer.h"
#include "tests/support/mdb_test_support.h"
#include "tests/support/temp_folder.h"

namespace kestrin::mdbtest {
namespace {

using automation::AutomationError;
using automation::Binary;
using automation::Currency;
using automation::DateTime;
using automation::Value;
using automation::mdb::AccessType;
namespace ts = testsupport;

std::string Utf8(char32_t c) {
  std::string s;
  if (c < 0x80) {
    s.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    s += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
  } else if (c < 0x10000) {
    s += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
          static_cast<char>(0x80 | (c & 0x3F))};
  } else {
    s += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
          static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
  }
  return s;
}

// Days from 1899-12-30 to a proleptic Gregorian date.
double Serial(int y, int m, int d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<double>(era * 146097 + doe - 719468 + 25569);
}

ts::Jet4Table Table(std::string name, std::vector<ts::Jet4Column> columns,
                    std::vector<std::vector<Value>> rows = {}) {
  ts::Jet4Table t;
  t.name = std::move(name);
  t.columns = std::move(columns);
  t.rows = std::move(rows);
  return t;
}

std::vector<std::vector<Value>> Records(const std::string& sample, const std::string& table) {
  auto db = OpenSample(sample);
  auto rs = db->OpenRecordset(table);
  return ReadAll(*rs);
}

void ExpectUnreadable(automation::DaoRecordset& rs, int field, const std::string& why) {
  try {
    rs.FieldValue(field);
    ADD_FAILURE() << "field " << field << " was read";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 3259);
    EXPECT_NE(e.description().find(rs.Fields().Name(field)), std::string::npos) << e.description();
    EXPECT_NE(e.description().find(why), std::string::npos) << e.description();
  }
}

TEST(Values, UnicodeTextPlainAndCompressed) {
  const auto rows = Records("testUnicodeCompV2003.mdb", "Table");
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[0][1], Value("only ascii chars"));
  EXPECT_EQ(rows[1][1], Value("ääkkösiä"));
  EXPECT_EQ(rows[2][1], Value("Мир"));
  // Polytonic Greek, with U+1F76, U+1F79, U+1F10, U+1F7C and U+1F7B.
  EXPECT_EQ(rows[3][1],
            Value("\xCF\xB0\xCE\xB1\xE1\xBD\xB6 \xCF\x84\xE1\xBD\xB9\xCF\x84' "
                  "\xE1\xBC\x90\xCE\xB3\xE1\xBD\xBC \xCE\x9A\xE1\xBD\xBB\xCF\xB0\xCE\xBB"
                  "\xCF\x89\xCF\x80\xCE\xB1"));
  EXPECT_EQ(rows[4][1], Value("漢字仮名交じり文"));
  EXPECT_EQ(rows[6][1], Value("ümlaut"));
}

// Characters beyond the BMP (mdb-export prints "??" for them).
TEST(Values, EmojiAreWholeCharacters) {
  const auto rows = Records("testEmoticonsV2010.accdb", "data");
  ASSERT_EQ(rows.size(), 80u);
  for (const auto& row : rows) {
    EXPECT_EQ(row[1], Value("a" + Utf8(static_cast<char32_t>(row[0].integer())) + "a"));
  }
  EXPECT_EQ(rows[0][1], Value("a\xF0\x9F\x98\x80"
                              "a"));  // U+1F600
}

// Serials before 1899-12-30 are negative; mdb-export prints 1900-01-00 for
// them and for serials from 1,000,000 on (year 4637).
TEST(Values, DatesBefore1900) {
  const auto rows = Records("oldDatesV2007.accdb", "Table1");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][1], Value(DateTime{Serial(1582, 10, 15)}));
  EXPECT_EQ(rows[1][1], Value(DateTime{Serial(1582, 10, 14)}));
  EXPECT_EQ(rows[2][1], Value(DateTime{Serial(1492, 1, 10)}));
  EXPECT_EQ(rows[3][1], Value(DateTime{Serial(1392, 1, 10)}));
  EXPECT_EQ(Serial(1582, 10, 15), -115858);
}

// Date/Time Extended (Access 2019) becomes a serial like Date/Time; the
// table also holds each value as Date/Time and as text.
TEST(Values, ExtendedDatesAsSerials) {
  auto db = OpenSample("extDateTestV2019.accdb");
  auto rs = db->OpenRecordset("Table1");
  const auto rows = [&] {
    std::vector<std::vector<Value>> r;
    for (; !rs->Eof(); rs->MoveNext())
      r.push_back({rs->FieldValue(1), rs->FieldValue(2), rs->FieldValue(3)});
    return r;
  }();
  ASSERT_EQ(rows.size(), 9u);
  for (const auto& r : rows) {
    SCOPED_TRACE(Describe(r[0]));
    if (r[2].is_null()) {
      EXPECT_TRUE(r[1].is_null());
      continue;
    }
    EXPECT_NEAR(r[1].datetime().serial, r[2].datetime().serial, 1.0 / 86400);  // within a second
  }
  EXPECT_EQ(rows[0][1], Value(DateTime{Serial(2020, 6, 17)}));
  // 10:45:12.3456789 PM and 12:45:00.1234567 PM on 14 June 100.
  EXPECT_DOUBLE_EQ(rows[5][1].datetime().serial, Serial(2021, 6, 14) + 81912.3456789 / 86400);
  EXPECT_DOUBLE_EQ(rows[7][1].datetime().serial, Serial(100, 6, 14) - 45900.1234567 / 86400);
  // DateNormalCalc, a calculated field, is the DateNormal field.
  for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) EXPECT_EQ(rs->FieldValue(5), rs->FieldValue(3));
}

TEST(Values, CurrencyDecimalsGuidsAndBooleans) {
  // Decimal: a double when it converts exactly or has at most 15 significant
  // digits, else its exact digits.
  auto numeric = Records("fixedNumericTestV2000.mdb", "test");
  ASSERT_EQ(numeric.size(), 1u);
  const std::vector<Value> expected = {Value("some data"), 1.0, 0.0, 0.0, 4.0, -1.0, 1.0};
  EXPECT_EQ(numeric[0], expected);
  auto calc = Records("calcFieldTestV2010.accdb", "Table1");
  EXPECT_EQ(calc[3][13], Value("102030405060.654321"));  // Popularity, Decimal(18, 6)
  EXPECT_EQ(calc[2][16], Value(0.0));

  // Calculated fields, each in the encoding of its result type (the values
  // Jackcess's tests expect of this file).
  const std::vector<Value> bruce = {1,
                                    "Bruce",
                                    "Wayne",
                                    "Wayne, Bruce",
                                    "Gotham",
                                    12,
                                    Currency{10000000000},
                                    Currency{833333333},
                                    true,
                                    "Wayne, Bruce=Wayne, Bruce",
                                    19230.7692307692,
                                    Currency{10000000000},
                                    true,
                                    50.325,
                                    50.325,
                                    2583.2092,  // a Single, as Access shows it
                                    "56505085819.424791296572280180"};
  EXPECT_EQ(calc[0], bruce);

  auto guids = Records("testIndexCodesV1997.mdb", "Table13");
  EXPECT_EQ(guids[0][1], Value("{8E39276A-BCA8-4AC4-891E-49911D8438DD}"));

  auto t1 = Records("testV2000.mdb", "Table1");
  EXPECT_EQ(t1[0][8], Value(true));
  EXPECT_EQ(t1[1][8], Value(false));
  EXPECT_EQ(t1[0][5], Value(444.555));
  EXPECT_EQ(t1[0][6], Value(DateTime{Serial(1974, 9, 21)}));
}

// A multi-value field reads as its values and an attachment field as its
// file names, joined by "; "; the hidden version history of the append-only
// memo is no field; a field of an unknown type, or a multi-value field whose
// values are of one, is refused by name.
TEST(Values, ComplexFieldsAsTheDatasheetShowsThemAndUnknownFieldsRefused) {
  auto db = OpenSample("complexDataTestV2007.accdb");
  const auto& fields = db->TableDefs().Item("Table1").Fields();
  std::vector<std::string> names;
  for (int i = 0; i < fields.Count(); ++i) names.push_back(fields.Name(i));
  EXPECT_EQ(names, (std::vector<std::string>{"id", "memo-data", "append-memo-data",
                                             "multi-value-data", "attach-data"}));
  using Row = std::vector<Value>;
  const auto rows = Records("complexDataTestV2007.accdb", "Table1");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (Row{"row1", Value(), Value(), Value(), Value()}));
  EXPECT_EQ(rows[1], (Row{"row2", "row2-memo", "row2-memo", "value1; value4",
                          "test_data.txt; test_data2.txt"}));
  EXPECT_EQ(rows[2], (Row{"row3", "row3-memo", "row3-memo-again", "value1; value2; value3; value4",
                          Value()}));
  EXPECT_EQ(rows[3], (Row{"row4", "row4-memo", "row4-memo", Value(), "test_data2.txt"}));

  auto db2 = OpenSample("unsupportedFieldsTestV2007.accdb");
  auto rs2 = db2->OpenRecordset("Test");
  EXPECT_EQ(rs2->FieldValue(0), Value(1));
  ExpectUnreadable(*rs2, 1, "コード 70");
  ExpectUnreadable(*rs2, 2, "コード 71");
  ExpectUnreadable(*rs2, 3, "コード 72");
}

// Files written for the test.
class WrittenDatabase : public ::testing::Test {
 protected:
  std::shared_ptr<automation::DaoDatabase> Open(const ts::Jet4Database& db) {
    ts::WriteJet4Database(db, path_);
    auto app = server_->CreateObject();
    app->OpenCurrentDatabase(path_, false);
    return app->CurrentDatabase();
  }
  std::unique_ptr<automation::AccessServer> server_ = automation::mdb::MakeMdbAccessServer();
  ::kestrin::testing::TempFolder folder_;
  std::string path_ = (folder_.path() / "written.mdb").string();
};

// The ends of the date range Access accepts, around the epoch, and currency
// to the last of its four decimals and at its extremes.
TEST_F(WrittenDatabase, FarDatesAndExactCurrency) {
  const std::vector<double> dates = {
      Serial(9999, 12, 31) + 0.5, Serial(9999, 1, 1), Serial(1900, 1, 1), 0.0, -1.25,
      Serial(632, 1, 1),          Serial(100, 1, 1)};
  const std::vector<std::int64_t> money = {19955000, -1, 0, INT64_MAX, INT64_MIN, 123456789, 5};
  ts::Jet4Table t =
      Table("Far", {{"When", AccessType::kDateTime}, {"Cost", AccessType::kCurrency}}, {});
  for (std::size_t i = 0; i < dates.size(); ++i) {
    t.rows.push_back({Value(DateTime{dates[i]}), Value(Currency{money[i]})});
  }
  ts::Jet4Database file;
  file.tables = {t};
  auto rs = Open(file)->OpenRecordset("Far");
  const auto rows = ReadAll(*rs);
  ASSERT_EQ(rows.size(), dates.size());
  for (std::size_t i = 0; i < dates.size(); ++i) {
    EXPECT_EQ(rows[i][0], Value(DateTime{dates[i]})) << i;
    EXPECT_EQ(rows[i][1], Value(Currency{money[i]})) << i;
  }
}

TEST_F(WrittenDatabase, LongValuesInRowsOnOnePageAndOnChainsOfPages) {
  std::string long_text;
  for (int i = 0; i < 9000; ++i)
    long_text += i % 97 == 0   ? Utf8(0x1F600 + i % 50)
                 : i % 13 == 0 ? "漢"
                               : "ä" + std::to_string(i % 10);
  std::string latin(3000, 'x');
  for (std::size_t i = 0; i < latin.size(); i += 7) latin[i] = 'y';
  Binary blob(50000);
  std::mt19937 rng(7);
  for (auto& b : blob) b = static_cast<std::uint8_t>(rng());
  ts::Jet4Database d;
  d.tables.push_back(Table(
      "Notes",
      {{"ID", AccessType::kLong},
       {"Memo", AccessType::kMemo},
       {"Packed", AccessType::kMemo, 255, true},
       {"Blob", AccessType::kOle},
       {"Text", AccessType::kText, 100, true}},
      {{1, "short", "short", Binary{1, 2, 3}, ""},
       {2, long_text, latin, blob, "abc漢字def"},
       {3, Value(), "", Binary{}, Value()},
       {4, std::string(4000, 'q'), long_text.substr(0, 1500), Binary(4000, 9), Utf8(0x1F600)}}));
  auto db = Open(d);
  auto rs = db->OpenRecordset("Notes");
  const auto rows = ReadAll(*rs);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (std::vector<Value>{1, "short", "short", Binary{1, 2, 3}, ""}));
  EXPECT_EQ(rows[1][1], Value(long_text));
  EXPECT_EQ(rows[1][2], Value(latin));
  EXPECT_EQ(rows[1][3], Value(blob));
  EXPECT_EQ(rows[1][4], Value("abc漢字def"));
  EXPECT_EQ(rows[2], (std::vector<Value>{3, Value(), "", Binary{}, Value()}));
  EXPECT_EQ(rows[3][1], Value(std::string(4000, 'q')));
  EXPECT_EQ(rows[3][2], Value(long_text.substr(0, 1500)));
  EXPECT_EQ(rows[3][3], Value(Binary(4000, 9)));
  EXPECT_EQ(rows[3][4], Value(Utf8(0x1F600)));
}

TEST_F(WrittenDatabase, DeletedRowsAreSkippedAndMovedRowsKeepTheirPlace) {
  ts::Jet4Table t = Table(
      "T", {{"N", AccessType::kLong}, {"S", AccessType::kText, 50}, {"F", AccessType::kSingle}});
  for (int i = 0; i < 300; ++i) t.rows.push_back({i, "row " + std::to_string(i), i / 8.0});
  t.deleted_rows = {0, 5, 299};
  t.moved_rows = {1, 7, 150};
  ts::Jet4Database d;
  d.tables.push_back(t);
  d.tables.push_back(Table("Åtgärder", {{"N", AccessType::kLong}}, {{1}, {2}}));
  d.linked_tables.push_back({"Elsewhere", "Far", "C:\\data\\other.mdb", "", 0});
  d.linked_tables.push_back({"Server", "dbo.Far", "", "ODBC;DSN=x", 0});
  auto db = Open(d);
  auto rs = db->OpenRecordset("T");
  EXPECT_EQ(rs->RecordCount(), 297);
  const auto rows = ReadAll(*rs);
  std::vector<std::int64_t> numbers;
  for (const auto& r : rows) numbers.push_back(r[0].integer());
  std::vector<std::int64_t> expected;
  for (int i = 0; i < 300; ++i) {
    if (i != 0 && i != 5 && i != 299) expected.push_back(i);
  }
  EXPECT_EQ(numbers, expected);
  EXPECT_EQ(rows[0][1], Value("row 1"));
  EXPECT_EQ(rows[0][2], Value(0.125));  // a Single, converted exactly

  // Linked tables among the others, all sorted by name as DAO yields them.
  const auto& tables = db->TableDefs();
  std::vector<std::string> names;
  for (int i = 0; i < tables.Count(); ++i) names.push_back(tables.Item(i).Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Elsewhere", "MSysACEs", "MSysObjects", "MSysQueries",
                                             "MSysRelationships", "Server", "T", "Åtgärder"}));
  EXPECT_EQ(db->OpenRecordset("ÅTGÄRDER")->RecordCount(), 2);  // case ignored beyond ASCII too
  EXPECT_THROW(db->OpenRecordset("Elsewhere"), AutomationError);
  EXPECT_THROW(db->OpenRecordset("Server"), AutomationError);
}

// Complex fields as Access 2007 keeps them: a multi-value field reads as its
// values and an attachment field as its file names, joined by "; " in the
// order of their hidden rows, through the table and through a query; the
// version history of an append-only memo and the hidden tables are left out.
TEST_F(WrittenDatabase, ComplexFieldsReadAsTextThroughTablesAndQueries) {
  using Kind = ts::Jet4ComplexField::Kind;
  ts::Jet4Database d;
  d.tables.push_back(Table("Products",
                           {{"ID", AccessType::kLong},
                            {"Tags", AccessType::kComplex},
                            {"Notes", AccessType::kMemo},
                            {"History", AccessType::kComplex},
                            {"Files", AccessType::kComplex}},
                           {{1, 1, "a", 1, 1}, {2, 2, "b", 2, 2}, {3, Value(), Value(), 3, 3}}));
  d.complex_fields = {
      {"Products", "Tags", Kind::kMultiValue, {{1, "red"}, {2, "blue"}, {1, "green"}}},
      {"Products", "History", Kind::kVersionHistory, {{1, "a, first"}, {2, "b"}}},
      {"Products", "Files", Kind::kAttachment, {{2, "a.pdf"}, {2, "b.png"}}}};
  using automation::mdb::testing::QueryBuilder;
  d.queries = {QueryBuilder("All").Kind(1).Options(0x01).Source("Products"),
               QueryBuilder("Green")
                   .Kind(1)
                   .Source("Products")
                   .Output("ID")
                   .Output("Tags & \"|\" & Files", "Both")
                   .Where("Tags Like \"*green*\" Or Files Is Not Null")};
  auto db = Open(d);

  std::vector<std::string> tables;
  for (int i = 0; i < db->TableDefs().Count(); ++i)
    tables.push_back(db->TableDefs().Item(i).Name());
  EXPECT_EQ(std::count_if(tables.begin(), tables.end(),
                          [](const std::string& t) { return t.rfind("f_", 0) == 0; }),
            0);
  const auto& fields = db->TableDefs().Item("Products").Fields();
  ASSERT_EQ(fields.Count(), 4);
  EXPECT_EQ(fields.Name(3), "Files");

  using Rows = std::vector<std::vector<Value>>;
  const Rows expected = {{1, "red; green", "a", Value()},
                         {2, "blue", "b", "a.pdf; b.png"},
                         {3, Value(), Value(), Value()}};
  EXPECT_EQ(ReadAll(*db->OpenRecordset("Products")), expected);
  EXPECT_EQ(ReadAll(*db->OpenRecordset("All")), expected);
  EXPECT_EQ(ReadAll(*db->OpenRecordset("Green")),
            (Rows{{1, "red; green|"}, {2, "blue|a.pdf; b.png"}}));
}

// Access asks for the password of a file with a database password and of an
// encrypted one; the reader refuses both by name instead of reading them.
TEST_F(WrittenDatabase, PasswordProtectedAndEncryptedFilesAreRefusedByName) {
  ts::Jet4Database d;
  d.tables.push_back(Table("T", {{"N", AccessType::kLong}}, {{1}}));
  auto refused = [&](const std::string& path, const std::string& what) {
    auto app = server_->CreateObject();
    try {
      app->OpenCurrentDatabase(path, false);
      ADD_FAILURE() << path << " was opened";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), 3031);
      EXPECT_NE(e.description().find("'" + path + "'"), std::string::npos) << e.description();
      EXPECT_NE(e.description().find(what), std::string::npos) << e.description();
    }
  };
  d.password = "geheim";
  ts::WriteJet4Database(d, path_);
  refused(path_, std::string(automation::msg::kProtectedByPassword.text));
  d.password.clear();
  EXPECT_EQ(ReadAll(*Open(d)->OpenRecordset("T")).size(), 1u);

  // An Access 2007 file encrypted with a password names its encoding key in
  // the (masked) header.
  std::ifstream in(SamplePath("oldDatesV2007.accdb"), std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  bytes.at(0x3E) ^= 0x5A;
  std::ofstream(path_, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  refused(path_, std::string(automation::msg::kEncrypted.text));
}

TEST(JetText, CompressedUnicodeAndSurrogates) {
  namespace jet = automation::mdb::jet;
  const std::uint8_t plain[] = {'a', 0, 0x3D, 0xD8, 0x00, 0xDE, 'b', 0};  // a U+1F600 b
  EXPECT_EQ(jet::DecodeJet4Text(plain, sizeof plain),
            "a\xF0\x9F\x98\x80"
            "b");
  const std::uint8_t lone[] = {0x3D, 0xD8, 'x', 0, 0x00, 0xDE};  // unpaired surrogates
  EXPECT_EQ(jet::DecodeJet4Text(lone, sizeof lone), "\xEF\xBF\xBDx\xEF\xBF\xBD");
  // "ab", then 漢 (U+6F22) uncompressed, then "c".
  const std::uint8_t packed[] = {0xFF, 0xFE, 'a', 'b', 0, 0x22, 0x6F, 0, 'c'};
  EXPECT_EQ(jet::DecodeJet4Text(packed, sizeof packed), "ab漢c");
  const std::uint8_t odd[] = {0xFF, 0xFE, 'a', 0, 0x22};  // cut in an uncompressed run
  EXPECT_EQ(jet::DecodeJet4Text(odd, sizeof odd), "a");

  const std::uint8_t guid[16] = {0x6A, 0x27, 0x39, 0x8E, 0xA8, 0xBC, 0xC4, 0x4A,
                                 0x89, 0x1E, 0x49, 0x91, 0x1D, 0x84, 0x38, 0xDD};
  EXPECT_EQ(jet::FormatGuid(guid), "{8E39276A-BCA8-4AC4-891E-49911D8438DD}");

  EXPECT_EQ(jet::DecimalToValue(false, 125, 3), Value(0.125));
  EXPECT_EQ(jet::DecimalToValue(true, 50325000, 6), Value(-50.325));
  EXPECT_EQ(jet::DecimalToValue(true, 0, 2), Value(0.0));
  EXPECT_EQ(jet::DecimalToValue(false, 9007199254740993ull, 0), Value("9007199254740993"));
  EXPECT_EQ(jet::DecimalToValue(false, 9007199254740992ull, 0), Value(9007199254740992.0));
  EXPECT_EQ(jet::DecimalToValue(false, 5, 4), Value(0.0005));
  EXPECT_EQ(jet::DecimalToValue(false, 123456789012345ull, 4), Value(12345678901.2345));
  EXPECT_EQ(jet::DecimalToValue(true, 1234567890123456ull, 4), Value("-123456789012.3456"));
}

}  // namespace
}  // namespace kestrin::mdbtest
