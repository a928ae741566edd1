#include "sheet/opc/shared_strings.h"

#include <sys/mman.h>

#include <cstdint>

namespace dialsift::sheet::opc {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t n, std::size_t to) {
  return (n + to - 1) / to * to;
}

}  // namespace

void SharedStrings::Bytes::Free::operator()(char* p) const {
  if (mapped > 0) {
    ::munmap(p, mapped);
  } else {
    std::free(p);
  }
}

void SharedStrings::Bytes::Grow(std::size_t more) {
  const std::size_t need = size_ + more;
  // Doubled, but never past the budget the table is held to.
  std::size_t want = std::max(need, 2 * capacity_);
  if (want > max_) want = std::max(need, max_);
  if (want >= kMapFrom && need <= max_ && Map()) return;
  // A mapped block (one grown again after Shrink) is not the C allocator's.
  if (data_.get_deleter().mapped > 0) throw std::bad_alloc();
  Reallocate(std::max<std::size_t>(want, 4096));
}

void SharedStrings::Bytes::Reallocate(std::size_t n) {
  char* p = static_cast<char*>(std::realloc(data_.get(), n));
  if (!p) throw std::bad_alloc();
  static_cast<void>(data_.release());
  data_.reset(p);
  capacity_ = n;
}

bool SharedStrings::Bytes::Map() {
  // A huge page's worth more, so that the block can start on one.
  const std::size_t size = RoundUp(max_, kHugePage);
  void* map = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (map == MAP_FAILED) return false;
  const auto start = reinterpret_cast<std::uintptr_t>(map);
  const auto aligned = RoundUp(start, kHugePage);
  if (aligned > start) ::munmap(map, aligned - start);
  if (const auto tail = start + kHugePage - aligned; tail > 0) {
    ::munmap(reinterpret_cast<void*>(aligned + size), tail);
  }
  auto* block = reinterpret_cast<char*>(aligned);
  ::madvise(block, size, MADV_HUGEPAGE);
  if (size_ > 0) std::memcpy(block, data_.get(), size_);
  data_ = std::unique_ptr<char, Free>(block, Free{size});
  capacity_ = max_;
  return true;
}

void SharedStrings::Bytes::Shrink() {
  if (std::size_t& mapped = data_.get_deleter().mapped; mapped > 0) {
    // The pages beyond the last one written are handed back.
    const std::size_t keep = RoundUp(std::max<std::size_t>(size_, 1), kHugePage);
    if (keep < mapped) {
      ::munmap(data_.get() + keep, mapped - keep);
      mapped = keep;
      capacity_ = std::min(capacity_, keep);
    }
    return;
  }
  if (size_ < capacity_ && size_ > 0) Reallocate(size_);
}

}  // namespace dialsift::sheet::opc
