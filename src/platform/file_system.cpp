#include "platform/file_system.h"

#include "platform/path.h"
#include "platform/system_detail.h"

namespace mox::platform {

bool CreateDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  // Create each missing level from the top down.
  for (std::size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos == path.size() || IsPathSeparator(path[pos])) {
      const std::string level = path.substr(0, pos);
      if (level.empty() || detail::IsVolumeRoot(level) || DirectoryExists(level)) continue;
      if (!detail::CreateOneDirectory(level)) return false;
    }
  }
  return DirectoryExists(path);
}

}  // namespace mox::platform
