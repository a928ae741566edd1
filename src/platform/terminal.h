// Whether a standard stream is a terminal (a progress line is only for one).
#pragma once

namespace dialsift::platform {

bool StandardErrorIsTerminal();

}  // namespace dialsift::platform
