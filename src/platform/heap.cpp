#include "platform/heap.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace dialsift::platform {

void KeepFreedMemoryForReuse() {
  // Setting either turns off glibc's own moving threshold, so both are set.
  ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kHeapMapThreshold));
  ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(kHeapKeep));
}

void PrefaultHeap(std::size_t bytes) {
  void* block = std::malloc(bytes);
  if (!block) return;
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (start + page - 1) / page * page;
  const std::uintptr_t end = (start + bytes) / page * page;
  // Kernels before 5.14 refuse it: the pages are then faulted in as used.
  if (end > first) {
    ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
  }
  std::free(block);
}

}  // namespace dialsift::platform
