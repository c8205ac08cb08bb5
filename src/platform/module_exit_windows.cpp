#include <cstdlib>

#include "platform/module_exit.h"

namespace mox::platform {

// In a DLL, the C runtime keeps an exit table of its own: atexit handlers run when the DLL is
// unloaded, or at process exit when it is still loaded then.
bool AtModuleExit(void (*handler)()) noexcept {
  return std::atexit(handler) == 0;
}

}  // namespace mox::platform
