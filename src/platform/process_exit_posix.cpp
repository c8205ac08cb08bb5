#include "platform/process_exit.h"

namespace mox::platform {

bool OtherThreadsEndedByProcessExit() noexcept {
  return false;
}

}  // namespace mox::platform
