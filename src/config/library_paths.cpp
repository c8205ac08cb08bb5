#include "config/library_paths.h"

#include "platform/module_path.h"
#include "platform/path.h"

namespace mox {

std::string GetLibraryDir() {
  return platform::DirectoryPart(platform::ThisModulePath());
}

std::string GetLibraryFileName() {
  return platform::FileNamePart(platform::ThisModulePath());
}

std::string GetSettingsFileName() {
  // An unknown module path leaves just ".ini", looked for in the current directory.
  return GetLibraryDir() + platform::ReplaceExtension(GetLibraryFileName(), ".ini");
}

}  // namespace mox
