#include "tools/plugin_module.h"

#include <system_error>

#include "tools/text_concat.h"

namespace mox::host {

std::vector<std::filesystem::path> DefaultPluginCandidates(const std::filesystem::path& exe_dir,
                                                           const std::filesystem::path& cwd) {
  std::vector<std::filesystem::path> candidates;
  if (!exe_dir.empty()) candidates.push_back(exe_dir / kDefaultPluginFileName);
  // Run from its own folder, both places are one.
  if (candidates.empty() || candidates.front() != cwd / kDefaultPluginFileName)
    candidates.push_back(cwd / kDefaultPluginFileName);
  return candidates;
}

std::optional<std::filesystem::path> ResolvePluginPath(const std::optional<std::string>& given,
                                                       const std::filesystem::path& exe_dir,
                                                       const std::filesystem::path& cwd,
                                                       std::string* error) {
  if (given) return (cwd / PathFromText(*given)).lexically_normal();
  std::string tried;
  for (const auto& candidate : DefaultPluginCandidates(exe_dir, cwd)) {
    std::error_code ignored;
    if (std::filesystem::is_regular_file(candidate, ignored)) return candidate;
    tried += (tried.empty() ? "" : ", ") + candidate.string();
  }
  if (error)
    *error = Concat({"no ", kDefaultPluginFileName, " found (looked at ", tried,
                     "); give the library with --plugin PATH"});
  return std::nullopt;
}

}  // namespace mox::host
