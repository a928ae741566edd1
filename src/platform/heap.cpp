#include "platform/heap.h"

#include <malloc.h>

namespace dialsift::platform {

void KeepFreedMemoryForReuse() {
  // Setting either turns off glibc's own moving threshold, so both are set.
  ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kHeapMapThreshold));
  ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(kHeapKeep));
}

}  // namespace dialsift::platform
