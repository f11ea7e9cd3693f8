#include "export/integer_text.h"

#include <gtest/gtest.h>

#include "automation/failure.h"

namespace kestrin::exporting {
namespace {

int ErrorOf(std::string_view text) {
  try {
    TextToInt16(text);
  } catch (const automation::AutomationError& e) {
    return e.number();
  }
  return 0;
}

TEST(TextToInt16Test, AcceptsDecimalNumbersWithBlanksAndRoundsHalfToEven) {
  EXPECT_EQ(TextToInt16(" 7 "), 7);
  EXPECT_EQ(TextToInt16("\t-12\t"), -12);
  EXPECT_EQ(TextToInt16("+5"), 5);
  EXPECT_EQ(TextToInt16("2.5"), 2);
  EXPECT_EQ(TextToInt16("3.5"), 4);
  EXPECT_EQ(TextToInt16("-2.5"), -2);
  EXPECT_EQ(TextToInt16("2.51"), 3);
  EXPECT_EQ(TextToInt16(".5"), 0);
  EXPECT_EQ(TextToInt16("1e2"), 100);
  EXPECT_EQ(TextToInt16("007"), 7);
  EXPECT_EQ(TextToInt16("1e-400"), 0);
}

TEST(TextToInt16Test, KeepsTheWholeSixteenBitRangeAndNoMore) {
  EXPECT_EQ(TextToInt16("32767"), 32767);
  EXPECT_EQ(TextToInt16("-32768"), -32768);
  EXPECT_EQ(TextToInt16("32767.4"), 32767);
  EXPECT_EQ(TextToInt16("-32768.5"), -32768);  // half to even stays in range
  EXPECT_EQ(ErrorOf("32767.5"), 6);            // ... and here leaves it
  EXPECT_EQ(ErrorOf("32768"), 6);
  EXPECT_EQ(ErrorOf("40000"), 6);
  EXPECT_EQ(ErrorOf("-32769"), 6);
  EXPECT_EQ(ErrorOf("1e999"), 6);
  EXPECT_EQ(ErrorOf("-0.001e400"), 6);
  EXPECT_EQ(TextToInt16("1000e-400"), 0);
}

TEST(TextToInt16Test, RefusesEmptyAndNonNumericText) {
  for (const char* text : {"", "   ", "abc", "1a", "1 2", "-", ".", "1e", "e5", "0x10", "１",
                           "1,000", "=1", "nan", "inf"}) {
    EXPECT_EQ(ErrorOf(text), 13) << "'" << text << "'";
  }
}

}  // namespace
}  // namespace kestrin::exporting
