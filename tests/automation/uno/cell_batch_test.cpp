#include "automation/uno/cell_batch.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace kestrin::automation::uno {
namespace {

// Every written cell is covered exactly once, no unwritten cell is covered,
// and each covered cell carries its last written value.
void ExpectExactCover(const std::vector<ValueBlock>& blocks,
                      const std::map<std::pair<int, int>, Value>& written) {
  std::set<std::pair<int, int>> seen;
  for (const auto& b : blocks) {
    ASSERT_EQ(b.values.size(), static_cast<size_t>(b.area.bottom - b.area.top + 1) *
                                   (b.area.right - b.area.left + 1));
    for (int r = b.area.top; r <= b.area.bottom; ++r) {
      for (int c = b.area.left; c <= b.area.right; ++c) {
        auto it = written.find({r, c});
        ASSERT_NE(it, written.end()) << "block covers unwritten cell " << r << "," << c;
        EXPECT_TRUE(seen.insert({r, c}).second) << "cell covered twice " << r << "," << c;
        EXPECT_EQ(b.at(r, c), it->second) << r << "," << c;
      }
    }
  }
  EXPECT_EQ(seen.size(), written.size());
}

TEST(CellBatchTest, RecordsWrittenRowByRowBecomeOneBlock) {
  CellBatch batch;
  std::map<std::pair<int, int>, Value> written;
  for (int r = 2; r < 103; ++r) {
    for (int c = 1; c < 6; ++c) {
      Value v = r == 2 ? Value("head") : Value(r * 10 + c);
      batch.Put({r, c}, v);
      written[{r, c}] = v;
    }
  }
  auto blocks = batch.TakeBlocks();
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].area, (Block{2, 1, 102, 5}));
  ExpectExactCover(blocks, written);
  EXPECT_TRUE(batch.empty());
  EXPECT_TRUE(batch.TakeBlocks().empty());
}

TEST(CellBatchTest, RowStepLeavesTheRowsBetweenRecordsOut) {
  CellBatch batch;
  std::map<std::pair<int, int>, Value> written;
  for (int c = 0; c < 3; ++c) written[{0, c}] = Value("h");
  for (int k = 0; k < 4; ++k) {
    for (int c = 0; c < 3; ++c) written[{1 + 3 * k, c}] = Value(k);
  }
  for (auto& [pos, v] : written) batch.Put({pos.first, pos.second}, v);
  auto blocks = batch.TakeBlocks();
  // Heading and first record touch; the others stand alone.
  EXPECT_EQ(blocks.size(), 4u);
  EXPECT_EQ(blocks[0].area, (Block{0, 0, 1, 2}));
  ExpectExactCover(blocks, written);
}

TEST(CellBatchTest, RaggedAndRepeatedWritesKeepTheLastValueAndNoExtraCells) {
  CellBatch batch;
  std::map<std::pair<int, int>, Value> written;
  auto put = [&](int r, int c, Value v) {
    batch.Put({r, c}, v);
    written[{r, c}] = v;
  };
  put(5, 5, 1);
  put(5, 6, 2);
  put(6, 5, 3);  // shorter row below
  put(7, 5, 4);
  put(7, 6, 5);
  put(5, 5, Value("again"));  // overwritten, written out of order
  put(0, 9, Null{});
  put(5, 8, 7.5);  // gap at column 7
  auto blocks = batch.TakeBlocks();
  ExpectExactCover(blocks, written);
  for (size_t i = 1; i < blocks.size(); ++i) {
    EXPECT_LE(blocks[i - 1].area.top, blocks[i].area.top);
  }
}

TEST(CellBatchTest, RandomPatternsAreCoveredExactly) {
  unsigned seed = 12345;
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int round = 0; round < 50; ++round) {
    CellBatch batch;
    std::map<std::pair<int, int>, Value> written;
    int n = 1 + next() % 200;
    for (int i = 0; i < n; ++i) {
      int r = next() % 12, c = next() % 8;
      Value v(static_cast<int>(next() % 1000));
      batch.Put({r, c}, v);
      written[{r, c}] = v;
    }
    EXPECT_EQ(batch.size(), static_cast<size_t>(n));
    ExpectExactCover(batch.TakeBlocks(), written);
  }
}

}  // namespace
}  // namespace kestrin::automation::uno
