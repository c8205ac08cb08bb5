#include "tools/plugin_module.h"

#include <dlfcn.h>

#include <system_error>

#include "tools/text_concat.h"

namespace mox::host {

namespace {

template <typename Function>
bool Resolve(void* handle, const char* name, Function& target, std::string* error) {
  void* address = dlsym(handle, name);
  if (address == nullptr) {
    if (error) *error = std::string("the library has no export ") + name;
    return false;
  }
  target = reinterpret_cast<Function>(address);
  return true;
}

}  // namespace

void PluginModule::Closer::operator()(void* handle) const {
  dlclose(handle);
}

std::optional<PluginModule> PluginModule::Load(const std::filesystem::path& path,
                                               std::string* error) {
  std::unique_ptr<void, Closer> handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!handle) {
    const char* reason = dlerror();
    if (error) *error = reason ? reason : "dlopen failed";
    return std::nullopt;
  }
  PluginApi api;
  if (!Resolve(handle.get(), "Init_Plugin", api.init, error) ||
      !Resolve(handle.get(), "GetName_Plugin", api.get_name, error) ||
      !Resolve(handle.get(), "Command_Plugin", api.command, error) ||
      !Resolve(handle.get(), "Finalize_Plugin", api.finalize, error))
    return std::nullopt;
  return PluginModule(std::move(handle), api);
}

std::filesystem::path ExecutableDirectory() {
  std::error_code ignored;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ignored);
  return exe.empty() ? exe : exe.parent_path();
}

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
  if (given) return (cwd / *given).lexically_normal();
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
