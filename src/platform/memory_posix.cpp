#include "platform/memory.h"

#include <malloc.h>

namespace mox::platform {

void ReturnFreeMemoryToSystem() noexcept {
  malloc_trim(0);
}

}  // namespace mox::platform
