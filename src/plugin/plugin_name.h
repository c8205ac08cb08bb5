// The name the plug-in presents to the host, derived once from its own library file name.
#pragma once

#include <string>
#include <string_view>

namespace mox {

// "MoxSettingsManager_" + the characters between the first "_" and the first "." of
// `library_file_name` when the "_" comes first with at least one character between them;
// "MoxSettingsManager" in every other case.
std::string ComputePluginName(std::string_view library_file_name);

// Computes the plug-in name from this library's file name (library load).
void SetPluginNameFromModule();
// Clears it (library unload).
void ClearPluginName() noexcept;
// The plug-in name's characters; valid and unchanged from library load to unload.
const char* PluginName() noexcept;

}  // namespace mox
