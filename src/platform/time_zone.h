// The process's local time zone, fixed once at start-up.
#pragma once

namespace dialsift::platform {

// When TZ is unset, sets it to the system's zone file (":/etc/localtime"),
// the zone the C library uses anyway. Without it, glibc checks that file
// anew at every mktime() under a process-wide lock; libzip converts every
// archive member's time with mktime, so threads reading workbooks would
// queue there for a system call per member. A TZ already set is left as it
// is. Call before any thread starts: it changes the environment.
void PinLocalTimeZone();

}  // namespace dialsift::platform
