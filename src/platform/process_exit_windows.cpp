#include "platform/process_exit_windows.h"

#include <atomic>

#include "platform/process_exit.h"

namespace mox::platform {
namespace {

constinit std::atomic<bool> gOtherThreadsEnded{false};

}  // namespace

bool OtherThreadsEndedByProcessExit() noexcept {
  return gOtherThreadsEnded.load();
}

void MarkOtherThreadsEndedByProcessExit() noexcept {
  gOtherThreadsEnded.store(true);
}

}  // namespace mox::platform
