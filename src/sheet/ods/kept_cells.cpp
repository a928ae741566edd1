#include "sheet/ods/kept_cells.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include <sys/mman.h>

namespace dialsift::sheet::ods {

namespace {

// Chunks of a multiple of this size are mapped on their own, aligned to it,
// and marked for transparent huge pages where the system offers them:
// filling such a chunk then costs one page fault, not one per 4 KB page.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

KeptCells::KeptCells(std::size_t first_chunk, std::size_t last_chunk, std::size_t budget)
    : next_chunk_(std::max<std::size_t>(1, first_chunk)),
      last_chunk_(std::max(next_chunk_, last_chunk)),
      budget_(budget) {}

void KeptCells::Release::operator()(char* bytes) const {
  if (mapped) {
    ::munmap(bytes, size);
  } else {
    delete[] bytes;
  }
}

std::unique_ptr<char[], KeptCells::Release> KeptCells::Allocate(std::size_t size) {
  if (size % kHugePage == 0) {
    // Mapped with a huge page's worth to spare, then trimmed to alignment.
    void* map = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map != MAP_FAILED) {
      const auto start = reinterpret_cast<std::uintptr_t>(map);
      const auto aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
      if (aligned > start) ::munmap(map, aligned - start);
      if (const auto tail = start + kHugePage - aligned; tail > 0) {
        ::munmap(reinterpret_cast<void*>(aligned + size), tail);
      }
      ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
      return {reinterpret_cast<char*>(aligned), Release{size, true}};
    }
  }
  // Left uninitialised: every byte read back has been written.
  return {new char[size], Release{size, false}};
}

bool KeptCells::Grow(std::size_t need) {
  // The rest of the last chunk stays unused: a cell is read in one piece.
  // The budget's last bytes make a smaller chunk.
  const std::size_t room = budget_ - allocated_;
  const std::size_t size = std::max(std::min(next_chunk_, room), need);
  if (size > room) return false;
  chunks_.push_back({Allocate(size), size, 0});
  allocated_ += size;
  next_chunk_ = std::min(last_chunk_, next_chunk_ * 2);
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
