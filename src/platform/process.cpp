#include "platform/process.h"

#include <cstring>

#include "platform/static_mutex.h"

namespace mox::platform {
namespace {

// The path is worked out once, on the first call (the library's load step), and kept in storage
// that needs no initialiser: a relative path the host gave the loader is relative to the working
// directory of that moment, which the host may change afterwards.
constexpr std::size_t kMaxModulePath = 4096;
constinit StaticMutex gModulePathLock;
constinit bool gModulePathKnown GUARDED_BY(gModulePathLock) = false;
constinit char gModulePath[kMaxModulePath] GUARDED_BY(gModulePathLock) = {};

}  // namespace

std::string ThisModulePath() {
  StaticMutexLock lock(gModulePathLock);
  if (!gModulePathKnown) {
    gModulePathKnown = true;
    const std::string path = detail::SystemModulePath();
    if (path.size() < sizeof gModulePath) std::memcpy(gModulePath, path.c_str(), path.size() + 1);
  }
  return gModulePath;
}

}  // namespace mox::platform
