#include "platform/heap.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstddef>
#include <thread>
#include <vector>

namespace dialsift::platform {
namespace {

long MinorFaults() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

// What a workbook's reading does to the heap: a buffer grows by doubling to
// a few megabytes, every byte written, and is freed at the end.
void ReadOneWorkbook() {
  std::vector<char> numbers;
  for (std::size_t i = 0; i < (std::size_t{3} << 20); i += 64) {
    numbers.resize(i + 64);
    numbers[i] = static_cast<char>(i);
  }
}

// On a reading thread, the second and later workbooks reuse the memory the
// first one freed instead of faulting it in again page by page.
TEST(KeepFreedMemoryForReuse, LaterWorkbooksDoNotFaultTheirBuffersInAgain) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator takes no such settings";
#endif
  KeepFreedMemoryForReuse();
  long faults = 0;
  std::thread reader([&] {
    ReadOneWorkbook();
    const long before = MinorFaults();
    for (int i = 0; i < 20; ++i) ReadOneWorkbook();
    faults = MinorFaults() - before;
  });
  reader.join();
  // One workbook's buffers alone are 1,500 pages; twenty faulted in anew
  // would be 30,000.
  EXPECT_LT(faults, 500);
}

}  // namespace
}  // namespace dialsift::platform
