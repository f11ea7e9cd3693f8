#include "automation/uno/fit_estimate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrin::automation::uno {
namespace {

using ::testing::ElementsAre;
using ::testing::Optional;

TEST(NumberLookTest, GeneralShowsNumbersToFifteenDigitsAsTheOfficeDoes) {
  NumberLook general = NumberLook::General();
  EXPECT_THAT(general.Shape(0), Optional(std::string("0")));
  EXPECT_THAT(general.Shape(327669), Optional(std::string("000000")));
  EXPECT_THAT(general.Shape(-50000), Optional(std::string("-00000")));
  EXPECT_THAT(general.Shape(8191.75), Optional(std::string("0000.00")));
  EXPECT_THAT(general.Shape(123456789012345.0), Optional(std::string(15, '0')));
  // Shown as the office shows them (checked against LibreOffice 7.4): the
  // shortest exact decimal form rounded half up to 15 significant digits,
  // trailing zeros dropped, and below 0.0001 in scientific form.
  EXPECT_THAT(general.Text(1.0 / 7), Optional(std::string("0.142857142857143")));
  EXPECT_THAT(general.Text(4681.0 / 7), Optional(std::string("668.714285714286")));
  EXPECT_THAT(general.Text(-2.0 / 3), Optional(std::string("-0.666666666666667")));
  EXPECT_THAT(general.Text(0.1 + 0.2), Optional(std::string("0.3")));
  EXPECT_THAT(general.Text(0.9999999999999999), Optional(std::string("1")));
  EXPECT_THAT(general.Text(123456.78901234567), Optional(std::string("123456.789012346")));
  EXPECT_THAT(general.Text(99999999999.5), Optional(std::string("99999999999.5")));
  EXPECT_THAT(general.Text(0.00015), Optional(std::string("0.00015")));
  EXPECT_THAT(general.Text(8.403481205226678e-05), Optional(std::string("8.40348120522668E-05")));
  EXPECT_THAT(general.Text(0.00001), Optional(std::string("1E-05")));
  // Beyond 10^15 and for minus zero the office's forms are not told.
  EXPECT_EQ(general.Text(1e16), std::nullopt);
  EXPECT_EQ(general.Text(-0.0), std::nullopt);
  EXPECT_TRUE(general.ShowsTextAsIs());
}

TEST(NumberLookTest, DateAndTimeCodesGiveTheDigitsOfEachField) {
  // 45000 is 2023-03-15; 44927 is 2023-01-01.
  NumberLook us = NumberLook::FromCode("M/D/YYYY");
  EXPECT_THAT(us.Shape(45000), Optional(std::string("0/00/0000")));
  EXPECT_THAT(us.Shape(44927), Optional(std::string("0/0/0000")));
  NumberLook japanese = NumberLook::FromCode("[$-411]yyyy/m/d h:mm:ss");
  EXPECT_THAT(japanese.Shape(45000.5), Optional(std::string("0000/0/00 00:00:00")));
  EXPECT_THAT(japanese.Text(45000.5), Optional(std::string("2023/3/15 12:00:00")));
  EXPECT_THAT(japanese.Shape(45000.25), Optional(std::string("0000/0/00 0:00:00")));
  // Times are rounded to the second, as stored times a hair below it need.
  EXPECT_THAT(japanese.Text(45000 + 3661 / 86400.0 - 1e-10),
              Optional(std::string("2023/3/15 1:01:01")));
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

TEST(NumberLookTest, YesNoAndTextFormats) {
  NumberLook yes_no = NumberLook::FromCode("BOOLEAN");
  EXPECT_THAT(yes_no.Text(1), Optional(std::string("TRUE")));
  EXPECT_THAT(yes_no.Text(0), Optional(std::string("FALSE")));
  EXPECT_TRUE(yes_no.ShowsTextAsIs());
  NumberLook text = NumberLook::FromCode("@");
  EXPECT_TRUE(text.ShowsTextAsIs());
  EXPECT_EQ(text.Text(12), std::nullopt);
}

TEST(NumberLookTest, OtherCodesTellNothing) {
  for (const char* code : {"0.00", "#,##0", "MMM D, YYYY", "DDDD", "[HH]:MM", "h:mm AM/PM",
                           "\"ID \"@", "General;-General", "\"TRUE\";\"TRUE\";\"FALSE\"", ""}) {
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
  // Fractions shown to 15 digits share their shape.
  EXPECT_THAT(CellsToMeasure(numbers, NumberLook::General(), true, 100), ElementsAre(0, 2, 3));
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
  mixed.push_back(CellContent{nullptr, 1e16});
  EXPECT_THAT(CellsToMeasure(mixed, NumberLook::General(), true, 64),
              ElementsAre(64, 74, 200, 201, 202));
}

// Widths of a made-up font: 5 px for 'i', 10 for digits and other letters,
// 20 for Japanese letters; 'X' cannot be measured.
class FakeWidths : public TextWidths {
 public:
  explicit FakeWidths(bool digits_alike = true) : digits_alike_(digits_alike) {}
  std::optional<long> Width(std::string_view utf8) override {
    ++measured;
    long width = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
      const auto c = static_cast<unsigned char>(utf8[i]);
      if (c == 'X') return std::nullopt;
      if (c >= 0x80) {
        width += 20;
        i += 2;  // three bytes of UTF-8
      } else {
        width += c == 'i' ? 5 : c == '1' && !digits_alike_ ? 6 : 10;
      }
    }
    return width;
  }
  bool DigitsAlike() override { return digits_alike_; }
  int measured = 0;

 private:
  bool digits_alike_;
};

TEST(CellsToMeasureTest, FontsKeepOnlyTheTextsThatComeNearTheWidest) {
  std::vector<std::string> texts = {"iiii", "ab",      "abcdefghij", "abcdefghik",
                                    "Xyz",  "abcdefg", "東京都",     "abcdefgh"};
  FakeWidths western, asian;
  // 100 px is the widest; 88 (within a tenth and 2 px) stays, 70 goes. "Xyz"
  // cannot be measured, so it is measured by the office.
  EXPECT_THAT(CellsToMeasure(Texts(texts), NumberLook::General(), CellFonts{&western, &asian}),
              ElementsAre(2, 3, 4));
  // Without the fonts nothing is dropped.
  EXPECT_EQ(CellsToMeasure(Texts(texts), NumberLook::General(), CellFonts{}).size(), 8u);

  // Numbers: one per shape when the digits are alike, the office's language
  // deciding their font; 0.142857142857143 is the widest.
  std::vector<CellContent> numbers;
  for (double n : {1.0 / 7, 2.0 / 7, 3.0, 12.5}) numbers.push_back(CellContent{nullptr, n});
  FakeWidths narrow_ones(false);
  EXPECT_THAT(CellsToMeasure(numbers, NumberLook::General(), CellFonts{&western, &western}),
              ElementsAre(0));
  EXPECT_THAT(CellsToMeasure(numbers, NumberLook::General(), CellFonts{&narrow_ones, &western}),
              ElementsAre(0, 1));
}

TEST(ScriptTest, TextsTakeTheFontOfTheirLetters) {
  EXPECT_EQ(ScriptOf("12,345.6 (%)"), Script::kWeak);
  EXPECT_EQ(ScriptOf("Item 123"), Script::kWestern);
  EXPECT_EQ(ScriptOf("Ελλάδα"), Script::kWestern);
  EXPECT_EQ(ScriptOf("東京都 123"), Script::kAsian);
  EXPECT_EQ(ScriptOf("ｶﾀｶﾅ"), Script::kAsian);
  EXPECT_EQ(ScriptOf("Tokyo 東京"), Script::kOther);
  EXPECT_EQ(ScriptOf("مرحبا"), Script::kOther);
}

TEST(FontsTest, TextsAreMeasuredInTheFontFontconfigFindsForTheName) {
  Fonts fonts;
  TextWidths* sans = fonts.Find(FontSpec{"DejaVu Sans", 10, 100, 0, "en-US"});
  ASSERT_NE(sans, nullptr);
  // Each glyph's advance rounded on its own: ten narrow letters are wider
  // than their exact width would make them.
  EXPECT_GT(sans->Width(std::string(10, 'i')).value_or(0), 0);
  EXPECT_LT(sans->Width("iiii"), sans->Width("WWWW"));
  EXPECT_EQ(sans->Width("0000"), sans->Width("1987"));
  EXPECT_TRUE(sans->DigitsAlike());
  // A line break, a control character or a glyph the font lacks leave the
  // width to the office.
  EXPECT_EQ(sans->Width("two\nlines"), std::nullopt);
  EXPECT_EQ(sans->Width("tab\there"), std::nullopt);
  EXPECT_EQ(sans->Width("\xEE\x80\x80"), std::nullopt);  // U+E000, private use
  // A name this machine does not have is the font fontconfig puts in its
  // place; a weight no face of it has is made up by the office.
  EXPECT_NE(fonts.Find(FontSpec{"Calibri", 11, 100, 0, "en-US"}), nullptr);
  EXPECT_EQ(fonts.Find(FontSpec{"DejaVu Sans", 10, 60, 0, "en-US"}), nullptr);
  EXPECT_EQ(fonts.Find(FontSpec{"", 10, 100, 0, ""}), nullptr);
}

}  // namespace
}  // namespace kestrin::automation::uno
