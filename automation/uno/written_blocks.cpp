#include "automation/uno/written_blocks.h"

#include <iterator>
#include <utility>

namespace kestrin::automation::uno {

void WrittenBlocks::Add(const void* book, std::string_view sheet, std::vector<ValueBlock> blocks,
                        std::uint64_t changes) {
  if (blocks.empty()) return;
  if (book != book_ || sheet != sheet_ || changes != changes_) {
    Clear();
    book_ = book;
    sheet_ = sheet;
    changes_ = changes;
  }
  for (ValueBlock& block : blocks) {
    if (full_) return;
    if (cells_ + block.values.size() > most_cells_) {
      blocks_.clear();
      blocks_.shrink_to_fit();
      full_ = true;
      return;
    }
    cells_ += block.values.size();
    if (!blocks_.empty()) {
      ValueBlock& last = blocks_.back();
      if (last.area.left == block.area.left && last.area.right == block.area.right &&
          last.area.bottom + 1 == block.area.top) {
        last.area.bottom = block.area.bottom;
        last.values.insert(last.values.end(), std::make_move_iterator(block.values.begin()),
                           std::make_move_iterator(block.values.end()));
        continue;
      }
    }
    blocks_.push_back(std::move(block));
  }
}

const std::vector<ValueBlock>* WrittenBlocks::Into(const void* book, std::string_view sheet,
                                                   std::uint64_t changes) {
  if (changes != changes_) Clear();
  if (blocks_.empty() || book != book_ || sheet != sheet_) return nullptr;
  return &blocks_;
}

void WrittenBlocks::Clear() {
  blocks_.clear();
  blocks_.shrink_to_fit();
  book_ = nullptr;
  sheet_.clear();
  cells_ = 0;
  full_ = false;
}

}  // namespace kestrin::automation::uno
