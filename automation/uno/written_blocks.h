// What the program wrote into one sheet, kept for fitting its columns.
//
// The column fit needs to know which values sit in which cells; the blocks
// sent to the office say so for as long as nothing else changed cells.
// Nobody has to remember to forget them: every request that may change
// cells moves a counter on (see CallPolicy), and the blocks are given out
// only while the counter stands where it stood when they were added.
// Internal to automation/uno/.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "automation/uno/cell_batch.h"

namespace kestrin::automation::uno {

class WrittenBlocks {
 public:
  // Adds blocks just written into sheet `sheet` of workbook `book` while
  // the change counter stood at `changes`. Blocks of another sheet or
  // workbook, or added at another count, are dropped first. `book` is any
  // identity of the workbook that stays unique while it is open (the counter
  // moves when a workbook opens or closes).
  void Add(const void* book, std::string_view sheet, std::vector<ValueBlock> blocks,
           std::uint64_t changes);

  // The blocks written into that sheet, in the order written, when nothing
  // has been added for another sheet since and the counter still stands at
  // `changes`; null otherwise (and stale blocks are let go).
  const std::vector<ValueBlock>* Into(const void* book, std::string_view sheet,
                                      std::uint64_t changes);

 private:
  void Clear();

  std::vector<ValueBlock> blocks_;
  const void* book_ = nullptr;
  std::string sheet_;
  std::uint64_t changes_ = 0;
};

}  // namespace kestrin::automation::uno
