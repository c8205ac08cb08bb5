// The process and this module: the POSIX side.
#include <cxxabi.h>
#include <dlfcn.h>
#include <limits.h>
#include <malloc.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <vector>

#include "platform/process.h"

// Provided by the toolchain's start files for every module: the handle that ties exit handlers
// to the module they belong to.
extern "C" void* __dso_handle;

namespace mox::platform {

// Paths of the module and the executable.

namespace detail {
namespace {

// Any function of this library will do for dladdr; this one is ours and cannot be inlined away
// because its address is taken.
void AnchorInThisModule() {}

std::string CurrentDirectory() {
  std::vector<char> buffer(PATH_MAX);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace

// Absolute, but not resolved: a copy of the library reached through a symbolic link keeps the
// link's name, which names its settings file, its log files and the plug-in.
std::string SystemModulePath() {
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
}  // namespace detail

std::string HostExecutablePath() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

// Exit handlers.

namespace {

void CallHandler(void* handler) {
  reinterpret_cast<void (*)()>(handler)();
}

}  // namespace

bool AtModuleExit(void (*handler)()) noexcept {
  return abi::__cxa_atexit(&CallHandler, reinterpret_cast<void*>(handler), &__dso_handle) == 0;
}

// Process exit.

bool OtherThreadsEndedByProcessExit() noexcept {
  return false;
}

// Host identity.

std::string HostName() {
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return {};
  return name.data();
}

long ProcessId() {
  return static_cast<long>(getpid());
}

// Heap.

void ReturnFreeMemoryToSystem() noexcept {
  malloc_trim(0);
}

}  // namespace mox::platform
