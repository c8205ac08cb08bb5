#include "platform/process.h"

#include <cstring>
#include <mutex>

#include "platform/static_mutex.h"

namespace mox::platform {
namespace {

constinit StaticMutex gOverrideLock;
constinit std::optional<std::string> gModuleOverride;
constinit std::optional<std::string> gHostOverride;

// The path is worked out once, on the first call (the library's load step), and kept in storage
// that needs no initialiser: a relative path the host gave the loader is relative to the working
// directory of that moment, which the host may change afterwards.
constexpr std::size_t kMaxModulePath = 4096;
constinit StaticMutex gModulePathLock;
constinit bool gModulePathKnown = false;  // guarded by gModulePathLock
constinit char gModulePath[kMaxModulePath] = {};

}  // namespace

std::string ThisModulePath() {
  {
    std::lock_guard lock(gOverrideLock);
    if (gModuleOverride) return *gModuleOverride;
  }
  std::lock_guard lock(gModulePathLock);
  if (!gModulePathKnown) {
    gModulePathKnown = true;
    const std::string path = detail::SystemModulePath();
    if (path.size() < sizeof gModulePath) std::memcpy(gModulePath, path.c_str(), path.size() + 1);
  }
  return gModulePath;
}

std::string HostExecutablePath() {
  {
    std::lock_guard lock(gOverrideLock);
    if (gHostOverride) return *gHostOverride;
  }
  return detail::SystemExecutablePath();
}

void OverrideThisModulePathForTesting(std::optional<std::string> path) {
  std::lock_guard lock(gOverrideLock);
  gModuleOverride = std::move(path);
}

void OverrideHostExecutablePathForTesting(std::optional<std::string> path) {
  std::lock_guard lock(gOverrideLock);
  gHostOverride = std::move(path);
}

}  // namespace mox::platform
