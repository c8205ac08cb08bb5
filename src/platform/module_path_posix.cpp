#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/system_detail.h"

namespace mox::platform::detail {
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

std::string SystemExecutablePath() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace mox::platform::detail
