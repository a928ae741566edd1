#include "platform/terminal.h"

#include <unistd.h>

namespace dialsift::platform {

bool StandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace dialsift::platform
