#include "automation/uno/written_blocks.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrin::automation::uno {
namespace {

std::vector<ValueBlock> OneCell(int row, Value value) {
  return {ValueBlock{Block{row, 0, row, 0}, {std::move(value)}}};
}

TEST(WrittenBlocksTest, GivenOutOnlyForTheirSheetWhileNoRequestMayHaveChangedCells) {
  int book = 0, other_book = 0;
  WrittenBlocks written(100);
  EXPECT_EQ(written.Into(&book, "Data", 0), nullptr);
  written.Add(&book, "Data", OneCell(0, Value(1)), 3);
  written.Add(&book, "Data", OneCell(2, Value(2)), 3);
  const auto* blocks = written.Into(&book, "Data", 3);
  ASSERT_NE(blocks, nullptr);
  ASSERT_EQ(blocks->size(), 2u);
  EXPECT_EQ((*blocks)[1].at(2, 0), Value(2));
  EXPECT_EQ(written.Into(&book, "Other", 3), nullptr);
  EXPECT_EQ(written.Into(&other_book, "Data", 3), nullptr);

  // A request that may have changed cells came between: the blocks are
  // stale, and stay so.
  EXPECT_EQ(written.Into(&book, "Data", 4), nullptr);
  EXPECT_EQ(written.Into(&book, "Data", 3), nullptr);

  // Blocks written after such a request, or into another sheet, start afresh.
  written.Add(&book, "Data", OneCell(5, Value(5)), 4);
  written.Add(&book, "Data", OneCell(6, Value(6)), 5);
  ASSERT_NE(written.Into(&book, "Data", 5), nullptr);
  EXPECT_EQ(written.Into(&book, "Data", 5)->size(), 1u);
  written.Add(&book, "Other", OneCell(7, Value(7)), 5);
  EXPECT_EQ(written.Into(&book, "Data", 5), nullptr);
  ASSERT_NE(written.Into(&book, "Other", 5), nullptr);
}

TEST(WrittenBlocksTest, BandsOfATableMakeOneBlockUpToTheMostCellsKept) {
  int book = 0;
  WrittenBlocks written(6);
  auto band = [](int top) {
    return std::vector<ValueBlock>{
        ValueBlock{Block{top, 0, top, 1}, {Value(top), Value("r" + std::to_string(top))}}};
  };
  written.Add(&book, "Data", band(4), 1);
  written.Add(&book, "Data", band(5), 1);
  const auto* blocks = written.Into(&book, "Data", 1);
  ASSERT_NE(blocks, nullptr);
  ASSERT_EQ(blocks->size(), 1u);
  EXPECT_EQ((*blocks)[0].area, (Block{4, 0, 5, 1}));
  EXPECT_EQ((*blocks)[0].at(5, 1), Value("r5"));
  // A fourth band is more than is kept: then none are, until another sheet
  // or count starts afresh.
  written.Add(&book, "Data", band(6), 1);
  written.Add(&book, "Data", band(7), 1);
  EXPECT_EQ(written.Into(&book, "Data", 1), nullptr);
  written.Add(&book, "Data", band(8), 1);
  EXPECT_EQ(written.Into(&book, "Data", 1), nullptr);
  written.Add(&book, "Data", band(9), 2);
  EXPECT_NE(written.Into(&book, "Data", 2), nullptr);
}

}  // namespace
}  // namespace kestrin::automation::uno
