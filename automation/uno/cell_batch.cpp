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
  std::sort(cells.begin(), cells.end(), [](const Pending& a, const Pending& b) {
    if (a.pos.row != b.pos.row) return a.pos.row < b.pos.row;
    if (a.pos.col != b.pos.col) return a.pos.col < b.pos.col;
    return a.order < b.order;
  });
  // Keep only the last write of each cell.
  std::vector<Pending> unique;
  unique.reserve(cells.size());
  for (auto& cell : cells) {
    if (!unique.empty() && unique.back().pos == cell.pos) {
      unique.back() = std::move(cell);
    } else {
      unique.push_back(std::move(cell));
    }
  }

  // Each row splits into runs of adjacent columns; a run continues the open
  // block that spans the same columns and ended on the row above.
  std::vector<ValueBlock> done;
  std::map<std::pair<int, int>, ValueBlock> open;  // keyed by (left, right)
  size_t i = 0;
  while (i < unique.size()) {
    int row = unique[i].pos.row;
    for (auto it = open.begin(); it != open.end();) {
      if (it->second.area.bottom < row - 1) {
        done.push_back(std::move(it->second));
        it = open.erase(it);
      } else {
        ++it;
      }
    }
    while (i < unique.size() && unique[i].pos.row == row) {
      size_t j = i + 1;
      while (j < unique.size() && unique[j].pos.row == row &&
             unique[j].pos.col == unique[j - 1].pos.col + 1) {
        ++j;
      }
      std::pair<int, int> key{unique[i].pos.col, unique[j - 1].pos.col};
      auto it = open.find(key);
      if (it == open.end() || it->second.area.bottom != row - 1) {
        if (it != open.end()) {
          done.push_back(std::move(it->second));
          open.erase(it);
        }
        it = open.emplace(key, ValueBlock{Block{row, key.first, row - 1, key.second}, {}}).first;
      }
      ValueBlock& block = it->second;
      block.area.bottom = row;
      for (size_t k = i; k < j; ++k) block.values.push_back(std::move(unique[k].value));
      i = j;
    }
  }
  for (auto& [key, block] : open) done.push_back(std::move(block));
  std::sort(done.begin(), done.end(), [](const ValueBlock& a, const ValueBlock& b) {
    return std::pair(a.area.top, a.area.left) < std::pair(b.area.top, b.area.left);
  });
  return done;
}

}  // namespace kestrin::automation::uno
