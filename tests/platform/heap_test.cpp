#include "platform/heap.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
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

// Run in a process of its own by the test below (a fresh heap): a reading
// thread's faults while it writes a workbook's buffers, with its heap backed
// beforehand when DIALSIFT_PREFAULT is set.
TEST(PrefaultHeapProbe, DISABLED_FaultsOfAReadingThread) {
  KeepFreedMemoryForReuse();
  long faults = 0;
  std::thread reader([&] {
    if (std::getenv("DIALSIFT_PREFAULT")) PrefaultHeap(kReaderHeap);
    const long before = MinorFaults();
    ReadOneWorkbook();
    faults = MinorFaults() - before;
  });
  reader.join();
  std::printf("faults %ld\n", faults);
}

long ProbeFaults(bool prefault) {
  const std::string cmd = std::string(prefault ? "DIALSIFT_PREFAULT=1 " : "") + "/proc/" +
                          std::to_string(::getpid()) +
                          "/exe --gtest_also_run_disabled_tests "
                          "--gtest_filter=PrefaultHeapProbe.DISABLED_FaultsOfAReadingThread";
  FILE* pipe = ::popen(cmd.c_str(), "r");
  if (!pipe) return -1;
  std::string out;
  char buf[4096];
  std::size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  ::pclose(pipe);
  const auto at = out.find("faults ");
  return at == std::string::npos ? -1 : std::stol(out.substr(at + 7));
}

// A reading thread whose heap was backed beforehand writes its first
// buffers without faulting their pages in one by one.
TEST(PrefaultHeap, TheFirstBuffersOfAThreadTakeNoPageFaults) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator does not hand freed memory back at once";
#endif
  {
    const std::size_t probe = 1 << 16;
    void* p = ::mmap(nullptr, probe, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(p, MAP_FAILED);
    const bool supported = ::madvise(p, probe, MADV_POPULATE_WRITE) == 0;
    ::munmap(p, probe);
    if (!supported) GTEST_SKIP() << "the kernel cannot back pages in advance (before 5.14)";
  }
  // 768 pages written: each faulted in on a fresh heap, hardly any on one
  // backed beforehand.
  EXPECT_GT(ProbeFaults(false), 500);
  const long backed = ProbeFaults(true);
  EXPECT_GE(backed, 0);
  EXPECT_LT(backed, 100);
}

}  // namespace
}  // namespace dialsift::platform
