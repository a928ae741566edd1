#include "platform/threads.h"

#include <sched.h>

namespace dialsift::platform {

void SpreadThread(unsigned n) {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
  const int count = CPU_COUNT(&allowed);
  if (count < 2) return;
  int skip = static_cast<int>(n % static_cast<unsigned>(count));
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &allowed) || skip-- > 0) continue;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    // The first call moves the thread there at once; the second only widens
    // where it may go later.
    if (::sched_setaffinity(0, sizeof one, &one) == 0) {
      ::sched_setaffinity(0, sizeof allowed, &allowed);
    }
    return;
  }
}

}  // namespace dialsift::platform
