#include "automation/uno/cell_batch.h"

#include <algorithm>
#include <map>
#include <utility>

namespace kestrin::automation::uno {

void CellBatch::Put(CellPos pos, Value value) {
  cells_.push_back(Pending{pos, cells_.size(), std::move(value)});
}

std::vector<ValueBlock> CellBatch::TakeBlocks() {
  std::vector<Pending> cells = std::move(cells_);
  cells_.clear();
  // Cells written row by row, left to right, each once, are in order
  // already; that is how records are written, and sorting them would cost
  // more than everything else here.
  auto before = [](const Pending& a, const Pending& b) {
    if (a.pos.row != b.pos.row) return a.pos.row < b.pos.row;
    if (a.pos.col != b.pos.col) return a.pos.col < b.pos.col;
    return a.order < b.order;
  };
  if (!std::is_sorted(cells.begin(), cells.end(), before)) {
    std::sort(cells.begin(), cells.end(), before);
  }
  // Keep only the last write of each cell.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (kept > 0 && cells[kept - 1].pos == cells[i].pos) {
      cells[kept - 1] = std::move(cells[i]);
    } else {
      if (kept != i) cells[kept] = std::move(cells[i]);
      ++kept;
    }
  }
  cells.resize(kept, Pending{});

  // Each row splits into runs of adjacent columns; a run continues the open
  // block that spans the same columns and ended on the row above. The blocks
  // are shaped first and filled afterwards, each with its values reserved.
  struct RunInto {
    std::size_t first, end, block;
  };
  std::vector<ValueBlock> blocks;
  std::vector<RunInto> runs;
  std::map<std::pair<int, int>, std::size_t> open;  // keyed by (left, right)
  std::size_t i = 0;
  while (i < cells.size()) {
    const int row = cells[i].pos.row;
    std::erase_if(open,
                  [&](const auto& entry) { return blocks[entry.second].area.bottom < row - 1; });
    while (i < cells.size() && cells[i].pos.row == row) {
      std::size_t j = i + 1;
      while (j < cells.size() && cells[j].pos.row == row &&
             cells[j].pos.col == cells[j - 1].pos.col + 1) {
        ++j;
      }
      const std::pair<int, int> key{cells[i].pos.col, cells[j - 1].pos.col};
      auto it = open.find(key);
      if (it == open.end() || blocks[it->second].area.bottom != row - 1) {
        if (it != open.end()) open.erase(it);
        blocks.push_back(ValueBlock{Block{row, key.first, row - 1, key.second}, {}});
        it = open.emplace(key, blocks.size() - 1).first;
      }
      blocks[it->second].area.bottom = row;
      runs.push_back(RunInto{i, j, it->second});
      i = j;
    }
  }
  for (ValueBlock& block : blocks) {
    const Block& a = block.area;
    block.values.reserve(static_cast<std::size_t>(a.bottom - a.top + 1) *
                         static_cast<std::size_t>(a.right - a.left + 1));
  }
  for (const RunInto& run : runs) {
    auto& values = blocks[run.block].values;
    for (std::size_t k = run.first; k < run.end; ++k) values.push_back(std::move(cells[k].value));
  }
  std::sort(blocks.begin(), blocks.end(), [](const ValueBlock& a, const ValueBlock& b) {
    return std::pair(a.area.top, a.area.left) < std::pair(b.area.top, b.area.left);
  });
  return blocks;
}

}  // namespace kestrin::automation::uno
