#include "platform/module_path.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <mutex>
#include <vector>

namespace mox::platform {
namespace {

constinit std::mutex gOverrideLock;
constinit std::optional<std::string> gModuleOverride;
constinit std::optional<std::string> gHostOverride;

// Any function of this library will do for dladdr; this one is ours and cannot be inlined away
// because its address is taken.
void AnchorInThisModule() {}

}  // namespace

std::string ThisModulePath() {
  {
    std::lock_guard lock(gOverrideLock);
    if (gModuleOverride) return *gModuleOverride;
  }
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&AnchorInThisModule), &info) == 0 ||
      info.dli_fname == nullptr) {
    return {};
  }
  // dli_fname is the name the loader was given; make it absolute so that directory parts work.
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) != nullptr) return resolved;
  return info.dli_fname;
}

std::string HostExecutablePath() {
  {
    std::lock_guard lock(gOverrideLock);
    if (gHostOverride) return *gHostOverride;
  }
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
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
