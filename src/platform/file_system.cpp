#include "platform/file_system.h"

namespace mox::platform {

// Path text.

static std::string_view::size_type LastSeparator(std::string_view path) {
  for (auto i = path.size(); i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return i - 1;
  }
  return std::string_view::npos;
}

std::string FileNamePart(std::string_view path) {
  const auto sep = LastSeparator(path);
  return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string DirectoryPart(std::string_view path) {
  const auto sep = LastSeparator(path);
  return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep + 1));
}

std::string ReplaceExtension(std::string_view path, std::string_view extension) {
  const std::string directory = DirectoryPart(path);
  const std::string name = FileNamePart(path);
  const auto dot = name.rfind('.');
  std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  return directory + stem + std::string(extension);
}

// File operations.

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
