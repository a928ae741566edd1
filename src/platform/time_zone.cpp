#include "platform/time_zone.h"

#include <cstdlib>
#include <ctime>

namespace dialsift::platform {

void PinLocalTimeZone() {
  if (std::getenv("TZ") != nullptr) return;
  ::setenv("TZ", ":/etc/localtime", 0);
  ::tzset();
}

}  // namespace dialsift::platform
