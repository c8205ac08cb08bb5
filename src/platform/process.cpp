#include "platform/process.h"

#include <cstring>

#include "platform/static_mutex.h"

namespace mox::platform {
namespace {

constinit StaticMutex gOverrideLock;
constinit std::optional<std::string> gModuleOverride GUARDED_BY(gOverrideLock);
constinit std::optional<std::string> gHostOverride GUARDED_BY(gOverrideLock);

// The path is worked out once, on the first call (the library's load step), and kept in storage
// that needs no initialiser: a relative path the host gave the loader is relative to the working
// directory of that moment, which the host may change afterwards.
constexpr std::size_t kMaxModulePath = 4096;
constinit StaticMutex gModulePathLock;
constinit bool gModulePathKnown GUARDED_BY(gModulePathLock) = false;
constinit char gModulePath[kMaxModulePath] GUARDED_BY(gModulePathLock) = {};

}  // namespace

std::string ThisModulePath() {
  {
    StaticMutexLock lock(gOverrideLock);
    if (gModuleOverride) return *gModuleOverride;
  }
  StaticMutexLock lock(gModulePathLock);
  if (!gModulePathKnown) {
    gModulePathKnown = true;
    const std::string path = detail::SystemModulePath();
    if (path.size() < sizeof gModulePath) std::memcpy(gModulePath, path.c_str(), path.size() + 1);
  }
  return gModulePath;
}

std::string HostExecutablePath() {
  {
    StaticMutexLock lock(gOverrideLock);
    if (gHostOverride) return *gHostOverride;
  }
  return detail::SystemExecutablePath();
}

void OverrideThisModulePathForTesting(std::optional<std::string> path) {
  StaticMutexLock lock(gOverrideLock);
  gModuleOverride = std::move(path);
}

void OverrideHostExecutablePathForTesting(std::optional<std::string> path) {
  StaticMutexLock lock(gOverrideLock);
  gHostOverride = std::move(path);
}

}  // namespace mox::platform
