#include "log/library_loading.h"

#include "platform/module_path.h"
#include "platform/path.h"

namespace mox {

platform::DynamicLibrary LoadLib(const std::string& name) {
  platform::DynamicLibrary library = platform::DynamicLibrary::Open(name);
  if (library || !platform::DirectoryPart(name).empty()) return library;
  const std::string host_directory = platform::DirectoryPart(platform::HostExecutablePath());
  if (host_directory.empty()) return library;
  return platform::DynamicLibrary::Open(host_directory + name);
}

void* GetLibProc(const platform::DynamicLibrary& library, const char* name) {
  return library.Symbol(name);
}

void FreeLib(platform::DynamicLibrary& library) {
  library.Close();
}

std::string GetThisModuleName() {
  return platform::ThisModulePath();
}

}  // namespace mox
