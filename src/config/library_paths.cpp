#include "config/library_paths.h"

#include "platform/file_system.h"
#include "platform/process.h"

namespace mox {

std::string LibraryDirectory() {
  return platform::DirectoryPart(platform::ThisModulePath());
}

std::string LibraryFileName() {
  return platform::FileNamePart(platform::ThisModulePath());
}

std::string SettingsFilePath() {
  // An unknown module path leaves just ".ini", looked for in the current directory.
  return LibraryDirectory() + platform::ReplaceExtension(LibraryFileName(), ".ini");
}

}  // namespace mox
