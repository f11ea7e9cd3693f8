// Access's text rules and functions as the engine evaluates them.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "automation/mdb/query/access_dates.h"
#include "automation/mdb/query/access_functions.h"
#include "automation/mdb/single.h"

namespace kestrin::automation::mdb::fn {
namespace {

TEST(AccessText, LikePatterns) {
  struct Case {
    const char* text;
    const char* pattern;
    bool match;
  };
  const Case cases[] = {
      {"Smith", "s*", true},     {"Smith", "*TH", true},
      {"Smith", "*m*h", true},   {"Smith", "S?ith", true},
      {"Smith", "S?th", false},  {"", "*", true},
      {"", "?", false},          {"a1", "a#", true},
      {"ab", "a#", false},       {"b", "[a-c]", true},
      {"d", "[a-c]", false},     {"d", "[!a-c]", true},
      {"B", "[a-c]", true},      {"*", "[*]", true},
      {"x*", "x[*]", true},      {"xy", "x[*]", false},
      {"a?c", "a[?]c", true},    {"abc", "a[?]c", false},
      {"Ärger", "ä*", true},     {"aXbXc", "*x*x*", true},
      {"aaa", "a*a*a*a", false}, {"mississippi", "*ss*ss*", true},
      {"abc", "abc", true},      {"abcd", "abc", false},
      {"50%", "##%", true},      {"-", "[a-]", true},
      {"x", "[]x", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LikeMatch(c.text, c.pattern), c.match) << c.text << " Like " << c.pattern;
  }
  EXPECT_THROW(LikeMatch("a", "[a"), std::invalid_argument);
}

TEST(AccessText, CaseInsensitiveComparison) {
  EXPECT_EQ(CompareText("abc", "ABC"), 0);
  EXPECT_EQ(CompareText("Ölfeld", "ölfeld"), 0);
  EXPECT_EQ(CompareText("ΑΒΓ", "αβγ"), 0);
  EXPECT_EQ(CompareText("Москва", "МОСКВА"), 0);
  EXPECT_LT(CompareText("apple", "Banana"), 0);
  EXPECT_GT(CompareText("b", "A"), 0);
  EXPECT_LT(CompareText("ab", "abc"), 0);
  // Accents and hyphens order as secondary differences; they never compare equal.
  EXPECT_LT(CompareText("Ärger", "Bach"), 0);
  EXPECT_LT(CompareText("resume", "résumé"), 0);
  EXPECT_LT(CompareText("résumé", "resumes"), 0);
  EXPECT_NE(CompareText("e", "é"), 0);
  EXPECT_LT(CompareText("co-op", "cooq"), 0);
  EXPECT_GT(CompareText("co-op", "coon"), 0);
  EXPECT_NE(CompareText("co-op", "coop"), 0);
  EXPECT_LT(CompareText("Straße", "Strasse1"), 0);
  EXPECT_EQ(CompareText("ÉCOLE", "école"), 0);
}

TEST(AccessNumbers, RoundingTextAndCurrency) {
  EXPECT_EQ(BankersRound(2.5, 0), 2);
  EXPECT_EQ(BankersRound(3.5, 0), 4);
  EXPECT_EQ(BankersRound(-2.5, 0), -2);
  EXPECT_EQ(BankersRound(2.51, 0), 3);
  EXPECT_DOUBLE_EQ(BankersRound(1.005, 2), 1.0);
  EXPECT_DOUBLE_EQ(BankersRound(1.015, 2), 1.02);
  EXPECT_DOUBLE_EQ(BankersRound(0.125, 2), 0.12);

  EXPECT_EQ(NumberText(0), "0");
  EXPECT_EQ(NumberText(12.5), "12.5");
  EXPECT_EQ(NumberText(-3), "-3");
  EXPECT_EQ(NumberText(0.1 + 0.2), "0.3");
  EXPECT_EQ(NumberText(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(NumberText(1e20), "1E+20");
  EXPECT_EQ(NumberText(0.00001), "1E-05");
  EXPECT_EQ(NumberText(123456789012345.0), "123456789012345");

  EXPECT_EQ(CurrencyFromText("12.3456"), 123456);
  EXPECT_EQ(CurrencyFromText("-0.00005"), 0);
  EXPECT_EQ(CurrencyFromText("0.00015"), 2);
  EXPECT_EQ(CurrencyFromText("0.000151"), 2);
  EXPECT_EQ(CurrencyFromText("0.00025"), 2);
  EXPECT_EQ(CurrencyFromText(" 922337203685477.5807 "), INT64_MAX);
  EXPECT_EQ(CurrencyFromText("922337203685477.5808"), std::nullopt);
  EXPECT_EQ(CurrencyFromText("1e3"), std::nullopt);
  EXPECT_EQ(CurrencyFromText("."), std::nullopt);
  EXPECT_EQ(CurrencyFromAmount(0.1), 1000);
  EXPECT_EQ(CurrencyFromAmount(0.1 + 0.2), 3000);
  EXPECT_EQ(CurrencyFromAmount(-1234.56785), -12345678);
  EXPECT_EQ(CurrencyFromAmount(1e300), std::nullopt);
}

TEST(AccessFormat, NumberAndDatePatterns) {
  EXPECT_EQ(FormatNumber(1234567.891, "#,##0.00"), "1,234,567.89");
  EXPECT_EQ(FormatNumber(0.5, "#.##"), ".5");
  EXPECT_EQ(FormatNumber(7, "000"), "007");
  EXPECT_EQ(FormatNumber(-7, "0"), "-7");
  EXPECT_EQ(FormatNumber(-0.001, "0.00"), "0.00");
  EXPECT_EQ(FormatNumber(0.125, "0.00"), "0.13");  // half away from zero, unlike Round
  EXPECT_EQ(FormatNumber(-5, "0;(0)"), "(5)");
  EXPECT_EQ(FormatNumber(0, "0;(0);\"zero\""), "zero");
  EXPECT_EQ(FormatNumber(12345, "0.00E+00"), "1.23E+04");
  EXPECT_EQ(FormatNumber(1, "Yes/No"), "Yes");
  EXPECT_EQ(FormatNumber(1234.5, "General Number"), "1234.5");

  const double d = dates::Serial(dates::DaysFromCivil(2024, 3, 5), 14 * 3600 + 7 * 60 + 9);
  EXPECT_TRUE(IsDatePattern("yyyy/mm/dd"));
  EXPECT_TRUE(IsDatePattern("Short Date"));
  EXPECT_FALSE(IsDatePattern("#,##0"));
  EXPECT_FALSE(IsDatePattern("Currency"));
  EXPECT_EQ(FormatDate(d, "yyyy/mm/dd"), "2024/03/05");
  EXPECT_EQ(FormatDate(d, "yyyymmdd hhnnss"), "20240305 140709");
  EXPECT_EQ(FormatDate(d, "d-mmm-yy"), "5-Mar-24");
  EXPECT_EQ(FormatDate(d, "dddd mmmm"), "Tuesday March");
  EXPECT_EQ(FormatDate(d, "hh:mm:ss"), "14:07:09");  // mm after hh is minutes
  EXPECT_EQ(FormatDate(d, "h:nn AM/PM"), "2:07 PM");
  EXPECT_EQ(FormatDate(d, "Short Date"), "3/5/2024");
  EXPECT_EQ(FormatDate(d, "Long Date"), "Tuesday, March 5, 2024");
  EXPECT_EQ(FormatDate(d, "Medium Date"), "05-Mar-24");
  EXPECT_EQ(FormatDate(d, "Short Time"), "14:07");
  EXPECT_EQ(FormatDate(d, "Long Time"), "2:07:09 PM");
  EXPECT_EQ(FormatDate(d, "\"Q\"q yyyy"), "Q1 2024");
  EXPECT_EQ(DateText(d), "3/5/2024 2:07:09 PM");
  EXPECT_EQ(DateText(dates::Serial(dates::DaysFromCivil(2024, 3, 5), 0)), "3/5/2024");
  EXPECT_EQ(DateText(0.5), "12:00:00 PM");
}

TEST(AccessDates, SerialArithmetic) {
  EXPECT_EQ(dates::DaysFromCivil(1899, 12, 30), 0);
  EXPECT_EQ(dates::DaysFromCivil(1900, 1, 1), 2);
  EXPECT_EQ(dates::DaysFromCivil(2024, 2, 30), dates::DaysFromCivil(2024, 3, 1));
  EXPECT_EQ(dates::DaysFromCivil(2024, 13, 1), dates::DaysFromCivil(2025, 1, 1));
  EXPECT_EQ(dates::DaysFromCivil(2024, 0, 1), dates::DaysFromCivil(2023, 12, 1));
  EXPECT_EQ(dates::DaysFromCivil(2024, 3, 0), dates::DaysFromCivil(2024, 2, 29));
  // Before 1899-12-30 the fraction counts forward from the day: -1.25 is
  // 1899-12-29 06:00.
  EXPECT_DOUBLE_EQ(dates::Serial(-1, 6 * 3600), -1.25);
  auto p = dates::FromSerial(-1.25);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->year, 1899);
  EXPECT_EQ(p->day, 29);
  EXPECT_EQ(p->hour, 6);
  EXPECT_FALSE(dates::FromSerial(3e6));
  EXPECT_FALSE(dates::FromSerial(std::nan("")));
  EXPECT_DOUBLE_EQ(dates::Linear(-1.25), -0.75);
  EXPECT_DOUBLE_EQ(dates::FromLinear(-0.75), -1.25);
}

}  // namespace
}  // namespace kestrin::automation::mdb::fn

namespace kestrin::automation::mdb {
namespace {

// A Single comes out as the shortest decimal of the float: its own shortest
// text as a double is the float's shortest text, and it reads back as the
// float. Whole numbers, sixteenths and arbitrary bit patterns alike.
TEST(SingleValues, ShortestDecimalThatReadsBackAsTheFloat) {
  std::vector<float> values = {0.15f,       1.1f,          2583.2092f, -0.00035134f,
                               804983.4f,   12.75f,        1023.9375f, 16777215.0f,
                               16777216.0f, 3.4028235e38f, 1e-45f};
  std::uint32_t bits = 12345;
  for (int i = 0; i < 20000; ++i) {
    bits = bits * 1664525u + 1013904223u;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    if (std::isfinite(f)) values.push_back(f);
    values.push_back(static_cast<float>(i % 4000) / 16 - 100);
  }
  for (float f : values) {
    const double shown = SingleAsShown(f);
    EXPECT_EQ(static_cast<float>(shown), f);
    char a[32], b[32];
    *std::to_chars(a, a + sizeof a - 1, f).ptr = '\0';
    *std::to_chars(b, b + sizeof b - 1, shown).ptr = '\0';
    EXPECT_STREQ(a, b) << "for the float " << a;
  }
}

}  // namespace
}  // namespace kestrin::automation::mdb
