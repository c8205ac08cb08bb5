#include "plugin/plugin_name.h"

#include "platform/file_system.h"
#include "platform/process.h"

namespace mox {
namespace {

// Written only while the library loads and unloads, when nothing else runs in it.
MOX_INIT_BEFORE_LOAD_STEP std::string gPluginName;

}  // namespace

std::string ComputePluginName(std::string_view library_file_name) {
  static constexpr std::string_view kBaseName = "MoxSettingsManager";
  const auto underscore = library_file_name.find('_');
  const auto dot = library_file_name.find('.');
  if (underscore == std::string_view::npos || dot == std::string_view::npos ||
      dot <= underscore + 1) {
    return std::string(kBaseName);
  }
  return std::string(kBaseName) + "_" +
         std::string(library_file_name.substr(underscore + 1, dot - underscore - 1));
}

void SetPluginNameFromModule() {
  // Derived from the file name as the plug-in holds it (its "_" and "." are never part of another
  // character there), then given to the host in the form a log line shows.
  gPluginName =
      platform::PathForLog(ComputePluginName(platform::FileNamePart(platform::ThisModulePath())));
}

void ClearPluginName() noexcept {
  gPluginName.clear();
}

const char* PluginName() noexcept {
  return gPluginName.c_str();
}

}  // namespace mox
