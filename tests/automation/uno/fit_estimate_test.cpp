#include "automation/uno/fit_estimate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrin::automation::uno {
namespace {

using ::testing::ElementsAre;
using ::testing::Optional;

TEST(NumberLookTest, GeneralShowsWholeNumbersAndExactFractionsForCertain) {
  NumberLook general = NumberLook::General();
  EXPECT_THAT(general.Shape(0), Optional(std::string("0")));
  EXPECT_THAT(general.Shape(327669), Optional(std::string("000000")));
  EXPECT_THAT(general.Shape(-50000), Optional(std::string("-00000")));
  EXPECT_THAT(general.Shape(8191.75), Optional(std::string("0000.00")));
  EXPECT_THAT(general.Shape(-0.5), Optional(std::string("-0.0")));
  EXPECT_THAT(general.Shape(123456789012345.0), Optional(std::string(15, '0')));
  // Texts the office shortens or writes with an exponent are not told.
  EXPECT_EQ(general.Shape(1.0 / 3), std::nullopt);
  EXPECT_EQ(general.Shape(0.1 + 0.2), std::nullopt);
  EXPECT_EQ(general.Shape(1e16), std::nullopt);
  EXPECT_EQ(general.Shape(0.00001), std::nullopt);
  EXPECT_EQ(general.Shape(-0.0), std::nullopt);
  EXPECT_TRUE(general.ShowsTextAsIs());
}

TEST(NumberLookTest, DateAndTimeCodesGiveTheDigitsOfEachField) {
  // 45000 is 2023-03-15; 44927 is 2023-01-01.
  NumberLook us = NumberLook::FromCode("M/D/YYYY");
  EXPECT_THAT(us.Shape(45000), Optional(std::string("0/00/0000")));
  EXPECT_THAT(us.Shape(44927), Optional(std::string("0/0/0000")));
  NumberLook japanese = NumberLook::FromCode("[$-411]yyyy/m/d h:mm:ss");
  EXPECT_THAT(japanese.Shape(45000.5), Optional(std::string("0000/0/00 00:00:00")));
  EXPECT_THAT(japanese.Shape(45000.25), Optional(std::string("0000/0/00 0:00:00")));
  // Half a second before 10:00: cut and rounded texts differ in length.
  EXPECT_EQ(japanese.Shape(45000 + (10 * 3600 - 0.5) / 86400.0), std::nullopt);
  NumberLook minutes = NumberLook::FromCode("hh:mm");
  EXPECT_THAT(minutes.Shape(0.75 + 45000), Optional(std::string("00:00")));
  EXPECT_THAT(NumberLook::FromCode("yy\"年\"m\"月\"").Shape(45000),
              Optional(std::string("00年0月")));
  // Before 1899-12-31 and past 9999 nothing is told.
  EXPECT_EQ(us.Shape(0.5), std::nullopt);
  EXPECT_EQ(us.Shape(3e6), std::nullopt);
}

TEST(NumberLookTest, OtherCodesTellNothing) {
  for (const char* code : {"0.00", "#,##0", "MMM D, YYYY", "DDDD", "[HH]:MM", "h:mm AM/PM", "@",
                           "General;-General", "\"TRUE\";\"TRUE\";\"FALSE\"", ""}) {
    NumberLook look = NumberLook::FromCode(code);
    EXPECT_EQ(look.Shape(45000), std::nullopt) << code;
    EXPECT_FALSE(look.ShowsTextAsIs()) << code;
  }
}

TEST(TextWidthBoundsTest, BoundsOrderTextsOfClearlyDifferentWidth) {
  for (const char* text : {"", "a", "Wi", "東京", "ｶﾀｶﾅ", "x\ny", "tab\there", "\xff\xfe"}) {
    WidthBounds b = TextWidthBounds(text);
    EXPECT_LE(b.lo, b.hi) << text;
    EXPECT_GE(b.lo, 0) << text;
  }
  // A long text is surely wider than a short one, in any script.
  EXPECT_GT(TextWidthBounds(std::string(40, 'W')).lo, TextWidthBounds("iiii").hi);
  EXPECT_GT(TextWidthBounds(std::string(40, 'i')).lo, TextWidthBounds("W").hi);
  EXPECT_GT(TextWidthBounds("東京都千代田区丸の内一丁目").lo, TextWidthBounds("Tok").hi);
  // A text of several lines is as wide as its widest line.
  WidthBounds lines = TextWidthBounds("ab\nlonger line\ncd");
  WidthBounds line = TextWidthBounds("longer line");
  EXPECT_EQ(lines.lo, line.lo);
  EXPECT_EQ(lines.hi, line.hi);
}

std::vector<CellContent> Texts(const std::vector<std::string>& texts) {
  std::vector<CellContent> cells;
  for (const auto& t : texts) cells.push_back(CellContent{&t, 0});
  return cells;
}

TEST(CellsToMeasureTest, AlikeCellsAreMeasuredOnce) {
  std::vector<std::string> texts = {"text 1", "text 22", "text 7", "text 22", "text 35"};
  auto cells = Texts(texts);
  // With equally wide digits, texts differing only in their digits are alike.
  EXPECT_THAT(CellsToMeasure(cells, NumberLook::General(), true, 100), ElementsAre(0, 1));
  EXPECT_THAT(CellsToMeasure(cells, NumberLook::General(), false, 100), ElementsAre(0, 1, 2, 4));
  // Under a format that may change texts, only equal texts are alike.
  EXPECT_THAT(CellsToMeasure(cells, NumberLook::FromCode("0.00"), true, 100),
              ElementsAre(0, 1, 2, 4));

  std::vector<CellContent> numbers;
  for (double n : {5.0, 7.0, 12.0, 1.0 / 3, 2.0 / 3, 1.0 / 3, 99.0}) {
    numbers.push_back(CellContent{nullptr, n});
  }
  // Numbers whose text is not certain are never merged with others.
  EXPECT_THAT(CellsToMeasure(numbers, NumberLook::General(), true, 100), ElementsAre(0, 2, 3, 4));
  EXPECT_THAT(CellsToMeasure(numbers, NumberLook::General(), false, 100),
              ElementsAre(0, 1, 2, 3, 4, 6));
}

TEST(CellsToMeasureTest, ManyGroupsAreNarrowedToThoseThatCanBeWidest) {
  std::vector<std::string> texts;
  for (int i = 0; i < 200; ++i)
    texts.push_back(std::string(1 + i % 5, static_cast<char>('a' + i % 26)));
  texts.push_back("a much longer text than all the others");
  texts.push_back("東京都千代田区丸の内一丁目一番一号");
  auto cells = Texts(texts);
  // Five of the widest letters (m, w) could still be as wide as the long
  // text in a font with narrow lower-case letters, so they stay.
  EXPECT_THAT(CellsToMeasure(cells, NumberLook::General(), true, 64),
              ElementsAre(64, 74, 200, 201));
  // Below the threshold every group is measured.
  EXPECT_EQ(CellsToMeasure(cells, NumberLook::General(), true, 1000).size(), 132u);
  // A number whose text is not known is always measured.
  std::vector<CellContent> mixed = cells;
  mixed.push_back(CellContent{nullptr, 1.0 / 3});
  EXPECT_THAT(CellsToMeasure(mixed, NumberLook::General(), true, 64),
              ElementsAre(64, 74, 200, 201, 202));
}

}  // namespace
}  // namespace kestrin::automation::uno
