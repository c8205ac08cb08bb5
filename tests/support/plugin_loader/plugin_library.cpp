#include "plugin_library.h"

#include <utility>

namespace mox {
namespace {

// Looks up `name`; false, with the reason in `error`, when the library lacks it.
template <typename Function>
bool Bind(const platform::DynamicLibrary& library, const std::string& path, const char* name,
          Function& target, std::string* error) {
  target = library.Get<Function>(name);
  if (target == nullptr && error != nullptr) *error = path + " lacks the export " + name;
  return target != nullptr;
}

}  // namespace

PluginLibrary PluginLibrary::Open(const std::string& path, std::string* error) {
  std::string reason;
  platform::DynamicLibrary library = platform::DynamicLibrary::Open(path, &reason);
  if (!library) {
    if (error != nullptr) *error = "cannot load " + path + ": " + reason;
    return {};
  }
  PluginLibrary plugin;
  if (!Bind(library, path, "Init_Plugin", plugin.init_, error) ||
      !Bind(library, path, "GetName_Plugin", plugin.get_name_, error) ||
      !Bind(library, path, "Command_Plugin", plugin.command_, error) ||
      !Bind(library, path, "Finalize_Plugin", plugin.finalize_, error)) {
    return {};
  }
  plugin.library_ = std::move(library);
  return plugin;
}

void PluginLibrary::Close() {
  library_.Close();
  init_ = nullptr;
  get_name_ = nullptr;
  command_ = nullptr;
  finalize_ = nullptr;
}

}  // namespace mox
