// Where the plug-in library lies, and the settings file beside it.
#pragma once

#include <string>

namespace mox {

// Directory of the plug-in library, with its trailing separator; empty when unknown.
std::string GetLibraryDir();
// File name of the plug-in library, without directory; empty when unknown.
std::string GetLibraryFileName();
// GetLibraryDir() + GetLibraryFileName() with its extension replaced by ".ini".
std::string GetSettingsFileName();

}  // namespace mox
