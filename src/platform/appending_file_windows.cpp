// Windows: every record opens, appends and closes the file. A handle kept open would stop an
// operator from renaming or moving the log's folder while the plug-in runs, so nothing is kept.
#include "platform/appending_file.h"
#include "platform/file_system.h"
#include "platform/path.h"

namespace mox::platform {

AppendingFile::~AppendingFile() = default;

void AppendingFile::Close() {}

bool AppendingFile::StillAt(const std::string&) {
  return false;
}

bool AppendingFile::Open(const std::string&, std::size_t, bool) {
  return false;
}

// The path is opened as it is, below `walked_from` too.
AppendingFile::AppendResult AppendingFile::Append(const std::string& path, std::size_t,
                                                  const char* data, std::size_t size,
                                                  bool create_folder) {
  if (AppendToFile(path, data, size)) return AppendResult::kWritten;
  const std::string folder = DirectoryPart(path);
  if (!create_folder || folder.empty() || DirectoryExists(folder) || !CreateDirectories(folder)) {
    return AppendResult::kFailed;
  }
  return AppendToFile(path, data, size) ? AppendResult::kWritten : AppendResult::kFailed;
}

}  // namespace mox::platform
