#include <malloc.h>

#include "platform/memory.h"

namespace mox::platform {

void ReturnFreeMemoryToSystem() noexcept {
  malloc_trim(0);
}

}  // namespace mox::platform
