// Where the plug-in library lies, and the settings file beside it.
#pragma once

#include <string>

namespace mox {

// Directory of the plug-in library, with its trailing separator; empty when unknown.
std::string LibraryDirectory();
// File name of the plug-in library, without directory; empty when unknown.
std::string LibraryFileName();
// LibraryDirectory() + LibraryFileName() with its extension replaced by ".ini".
std::string SettingsFilePath();

}  // namespace mox
