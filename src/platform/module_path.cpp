#include "platform/module_path.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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

// The path is worked out once, on the first call (the library's load step), and kept in storage
// that needs no initialiser: a relative path the host gave the loader is relative to the working
// directory of that moment, which the host may change afterwards.
constinit std::once_flag gModulePathOnce;
constinit char gModulePath[PATH_MAX] = {};

std::string CurrentDirectory() {
  std::vector<char> buffer(PATH_MAX);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

// Absolute, but not resolved: a copy of the library reached through a symbolic link keeps the
// link's name, which names its settings file, its log files and the plug-in.
std::string AbsoluteModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&AnchorInThisModule), &info) == 0 ||
      info.dli_fname == nullptr || info.dli_fname[0] == '\0') {
    return {};
  }
  std::string path = info.dli_fname;
  if (path.front() == '/') return path;
  while (path.starts_with("./")) path.erase(0, 2);
  const std::string directory = CurrentDirectory();
  if (directory.empty()) return path;
  return directory.back() == '/' ? directory + path : directory + "/" + path;
}

}  // namespace

std::string ThisModulePath() {
  {
    std::lock_guard lock(gOverrideLock);
    if (gModuleOverride) return *gModuleOverride;
  }
  std::call_once(gModulePathOnce, [] {
    const std::string path = AbsoluteModulePath();
    if (path.size() < sizeof gModulePath) std::memcpy(gModulePath, path.c_str(), path.size() + 1);
  });
  return gModulePath;
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
