// What the program wrote into one sheet, kept for fitting its columns.
//
// The column fit needs to know which values sit in which cells; the blocks
// sent to the office say so for as long as nothing else changed cells.
// Nobody has to remember to forget them: every request that may change
// cells moves a counter on (see CallPolicy), and the blocks are given out
// only while the counter stands where it stood when they were added.
// Internal to automation/uno/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "automation/uno/cell_batch.h"

namespace kestrin::automation::uno {

class WrittenBlocks {
 public:
  // Keeps at most `most_cells` values (about 40 bytes each, more for long
  // texts): when more are written into one sheet, none are kept, for a fit
  // that knows only some of the written cells copies the others and takes
  // longer than measuring them all where they are.
  explicit WrittenBlocks(std::size_t most_cells) : most_cells_(most_cells) {}

  // Adds blocks just written into sheet `sheet` of workbook `book` while
  // the change counter stood at `changes`. Blocks of another sheet or
  // workbook, or added at another count, are dropped first. `book` is any
  // identity of the workbook that stays unique while it is open (the counter
  // moves when a workbook opens or closes). A block that goes on where the
  // last one ended, over the same columns (the next band of a table),
  // extends it.
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
  std::size_t most_cells_;
  std::size_t cells_ = 0;  // values held
  bool full_ = false;      // more were written than are kept: none are
};

}  // namespace kestrin::automation::uno
