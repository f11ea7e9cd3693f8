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
  if (blocks_.empty()) {
    blocks_ = std::move(blocks);
  } else {
    std::move(blocks.begin(), blocks.end(), std::back_inserter(blocks_));
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
}

}  // namespace kestrin::automation::uno
