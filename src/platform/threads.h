// Where the reading threads run.
#pragma once

namespace dialsift::platform {

// Moves the calling thread onto the n-th of the CPUs it may run on (counting
// round), then lets it run on all of them again: the scheduler moves it on
// from there as it sees fit. Threads a process starts together tend to be
// put on one CPU, and on a small machine the scheduler can take tens of
// milliseconds to spread them; readers spread this way use every core from
// their first workbook. Does nothing where the CPUs cannot be chosen.
void SpreadThread(unsigned n);

}  // namespace dialsift::platform
