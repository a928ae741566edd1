#include "platform/threads.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <thread>
#include <vector>

namespace dialsift::platform {
namespace {

std::vector<int> AllowedCpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  std::vector<int> cpus;
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return cpus;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
  }
  return cpus;
}

// Each thread lands on its own CPU, counting round, and may still go
// anywhere it could before.
TEST(SpreadThread, PutsTheNthThreadOnTheNthCpuAndKeepsItFreeToMove) {
  const std::vector<int> cpus = AllowedCpus();
  if (cpus.size() < 2) GTEST_SKIP() << "one CPU to run on";
  // The scheduler is free to move a thread again at any time, and on a busy
  // machine now and then does so at once: most landings must be right, where
  // threads left where they started would be right about half the time.
  int right = 0;
  int tries = 0;
  for (int round = 0; round < 5; ++round) {
    for (unsigned n : {0u, 1u, static_cast<unsigned>(cpus.size()) + 1}) {
      int landed = -1;
      std::vector<int> after;
      std::thread t([&] {
        SpreadThread(n);
        landed = ::sched_getcpu();
        after = AllowedCpus();
      });
      t.join();
      ++tries;
      if (landed == cpus[n % cpus.size()]) ++right;
      EXPECT_EQ(after, cpus) << n;
    }
  }
  EXPECT_GE(right, tries - 2);
}

}  // namespace
}  // namespace dialsift::platform
