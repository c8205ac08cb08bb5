#include <windows.h>

#include "platform/memory.h"

namespace mox::platform {

void ReturnFreeMemoryToSystem() noexcept {
  // Coalesces the free blocks of the process heap and releases what it can.
  HeapCompact(GetProcessHeap(), 0);
}

}  // namespace mox::platform
