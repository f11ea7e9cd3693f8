#include "automation/uno/addresses.h"

#include <gtest/gtest.h>

#include "automation/failure.h"

namespace kestrin::automation::uno {
namespace {

TEST(R1C1Test, ParsesRowAndColumnFromOne) {
  EXPECT_EQ(ParseR1C1("r3c2"), (CellPos{2, 1}));
  EXPECT_EQ(ParseR1C1("r1c1"), (CellPos{0, 0}));
  EXPECT_EQ(ParseR1C1("r32767c52"), (CellPos{32766, 51}));
  EXPECT_EQ(ParseR1C1("r1048576c16384"), (CellPos{1048575, 16383}));
}

TEST(R1C1Test, RejectsMalformedAndOffSheetReferences) {
  for (const char* bad : {"", "r", "rc", "r0c1", "r1c0", "R1C1", "r1c", "rc1", "r-1c2", "r1c2x",
                          "r 1c2", "r1048577c1", "r1c16385", "r99999999999c1", "b3"}) {
    try {
      ParseR1C1(bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), 1004) << bad;
      EXPECT_NE(e.description().find(bad), std::string::npos) << e.description();
    }
  }
}

TEST(A1Test, ParsesBlocksInAnyCornerOrderAndCase) {
  EXPECT_EQ(ParseA1Block("B3:F103"), (Block{2, 1, 102, 5}));
  EXPECT_EQ(ParseA1Block("f103:b3"), (Block{2, 1, 102, 5}));
  EXPECT_EQ(ParseA1Block("AZ1"), (Block{0, 51, 0, 51}));
  EXPECT_EQ(ParseA1Block("A1:XFD1048576"), (Block{0, 0, 1048575, 16383}));
  EXPECT_EQ(ParseA1Block("F3:B103"), (Block{2, 1, 102, 5}));
}

TEST(A1Test, RejectsMalformedBlocks) {
  for (const char* bad : {"", ":", "B", "3", "B3:", ":F5", "B0", "B3:F0", "XFE1", "A1048577",
                          "B3;F5", "B3:F5:G6", "1B"}) {
    EXPECT_THROW(ParseA1Block(bad), AutomationError) << bad;
  }
}

TEST(SpanTest, RowAndColumnSpansCoverWholeLines) {
  EXPECT_EQ(ParseRowSpan("1:101"), (Block{0, 0, 100, kMaxColumns - 1}));
  EXPECT_EQ(ParseRowSpan("7"), (Block{6, 0, 6, kMaxColumns - 1}));
  EXPECT_EQ(ParseColumnSpan("C:G"), (Block{0, 2, kMaxRows - 1, 6}));
  EXPECT_EQ(ParseColumnSpan("az"), (Block{0, 51, kMaxRows - 1, 51}));
  EXPECT_THROW(ParseRowSpan("0:5"), AutomationError);
  EXPECT_THROW(ParseRowSpan("A:B"), AutomationError);
  EXPECT_THROW(ParseColumnSpan("1:2"), AutomationError);
  EXPECT_THROW(ParseColumnSpan(""), AutomationError);
}

TEST(ColumnLettersTest, RoundTripsWithTheParser) {
  EXPECT_EQ(ColumnLetters(0), "A");
  EXPECT_EQ(ColumnLetters(25), "Z");
  EXPECT_EQ(ColumnLetters(26), "AA");
  EXPECT_EQ(ColumnLetters(51), "AZ");
  EXPECT_EQ(ColumnLetters(16383), "XFD");
  for (int c : {0, 1, 25, 26, 27, 51, 52, 701, 702, 16383}) {
    EXPECT_EQ(ParseA1Block(ColumnLetters(c) + "1").left, c);
  }
}

TEST(SheetBlockTest, SplitsAtTheLastBangKeepingBlanksAndQuotes) {
  SheetBlock a = ParseSheetBlock("Sheet1!A1:E101");
  EXPECT_EQ(a.sheet, "Sheet1");
  EXPECT_EQ(a.block, (Block{0, 0, 100, 4}));
  EXPECT_EQ(ParseSheetBlock("My data 2024!B2:C9").sheet, "My data 2024");
  EXPECT_EQ(ParseSheetBlock("売上 データ!A1:B2").sheet, "売上 データ");
  EXPECT_EQ(ParseSheetBlock("Wow!!A1:B2").sheet, "Wow!");
  EXPECT_EQ(ParseSheetBlock("'It''s here'!A1:B2").sheet, "It's here");
  EXPECT_THROW(ParseSheetBlock("A1:B2"), AutomationError);
  EXPECT_THROW(ParseSheetBlock("!A1:B2"), AutomationError);
  EXPECT_THROW(ParseSheetBlock("Sheet1!"), AutomationError);
}

}  // namespace
}  // namespace kestrin::automation::uno
