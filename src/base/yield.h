// The one callback long loops of the core call at fixed points, so that the
// window can process its pending messages while they run.
#pragma once

#include <functional>

namespace dialsift {

// Lets the window process its pending messages; empty when nobody waits.
using YieldFn = std::function<void()>;

}  // namespace dialsift
