// Cell values waiting to be sent to the office.
//
// Values are put one cell at a time, as the program writes them; TakeBlocks()
// hands them back as rectangles of contiguous written cells that together
// cover exactly the written cells (never a cell that was not written), so
// that sending each rectangle in one transfer leaves the sheet as writing
// cell by cell would have. A cell written twice keeps its last value.
#pragma once

#include <cstddef>
#include <vector>

#include "automation/uno/addresses.h"
#include "automation/value.h"

namespace kestrin::automation::uno {

struct ValueBlock {
  Block area;
  // area's cells row by row: (bottom - top + 1) * (right - left + 1) values.
  std::vector<Value> values;
  const Value& at(int row, int col) const {
    return values[static_cast<size_t>(row - area.top) * (area.right - area.left + 1) +
                  (col - area.left)];
  }
};

class CellBatch {
 public:
  void Put(CellPos pos, Value value);
  bool empty() const { return cells_.empty(); }
  size_t size() const { return cells_.size(); }
  // The cell put last; only when not empty.
  CellPos last() const { return cells_.back().pos; }
  // The pending cells as disjoint rectangles, top to bottom; empties the batch.
  std::vector<ValueBlock> TakeBlocks();

 private:
  struct Pending {
    CellPos pos;
    size_t order;
    Value value;
  };
  std::vector<Pending> cells_;
};

}  // namespace kestrin::automation::uno
