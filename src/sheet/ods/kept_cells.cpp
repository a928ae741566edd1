#include "sheet/ods/kept_cells.h"

#include <algorithm>
#include <limits>

namespace dialsift::sheet::ods {

KeptCells::KeptCells(std::size_t chunk_size, std::size_t budget)
    : chunk_size_(std::max<std::size_t>(1, std::min(chunk_size, budget))), budget_(budget) {}

bool KeptCells::Grow(std::size_t need) {
  if (need - sizeof(Header) > std::numeric_limits<std::uint32_t>::max()) return false;
  // The rest of the last chunk stays unused: a cell is read in one piece.
  const std::size_t size = std::max(chunk_size_, need);
  if (size > budget_ - allocated_) return false;
  chunks_.push_back({std::make_unique_for_overwrite<char[]>(size), size, 0});
  allocated_ += size;
  return true;
}

KeptCells::Mark KeptCells::End() const {
  if (chunks_.empty()) return {};
  return {chunks_.size() - 1, chunks_.back().used};
}

void KeptCells::DropAfter(Mark mark) {
  if (mark.chunk >= chunks_.size()) return;
  while (chunks_.size() > mark.chunk + 1) {
    allocated_ -= chunks_.back().size;
    chunks_.pop_back();
  }
  chunks_.back().used = std::min(chunks_.back().used, mark.offset);
}

void KeptCells::Clear() {
  chunks_.clear();
  allocated_ = 0;
}

}  // namespace dialsift::sheet::ods
