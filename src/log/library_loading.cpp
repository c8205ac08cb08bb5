#include "log/library_loading.h"

#include "platform/file_system.h"
#include "platform/process.h"

namespace mox {

platform::DynamicLibrary LoadLibraryBesideHost(const std::string& name, std::string* tried) {
  std::string reason;
  const auto attempt = [&](const std::string& path) {
    platform::DynamicLibrary library = platform::DynamicLibrary::Open(path, &reason);
    if (!library && tried != nullptr) {
      *tried += (tried->empty() ? "" : "; ") + platform::PathForLog(path) + ": " + reason;
    }
    return library;
  };
  if (platform::DirectoryPart(name).empty()) {
    // The host's own copy first, so that a library of that name earlier on the search path cannot
    // take its place. The host's path is absolute, so this never reads the working directory.
    const std::string host_directory = platform::DirectoryPart(platform::HostExecutablePath());
    if (!host_directory.empty()) {
      platform::DynamicLibrary beside_host = attempt(host_directory + name);
      if (beside_host) return beside_host;
    }
  }
  return attempt(name);
}

}  // namespace mox
