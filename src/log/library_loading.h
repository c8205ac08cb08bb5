// Run-time library loading as the program log uses it for the log-server client.
#pragma once

#include <string>

#include "platform/dynamic_library.h"

namespace mox {

// Loads `name` from beside the host executable when it has no directory part and is there, else
// through the system's search (which does not look in the working directory). Empty when both
// fail; then `tried` (when given) says what was tried and why it failed ("<path>: <reason>; ...").
platform::DynamicLibrary LoadLib(const std::string& name, std::string* tried = nullptr);

// Address of the export `name`, or nullptr.
void* GetLibProc(const platform::DynamicLibrary& library, const char* name);

// Unloads the library (nothing happens for an empty one).
void FreeLib(platform::DynamicLibrary& library);

// Full path of this library's own module file; empty when the system cannot tell.
std::string GetThisModuleName();

}  // namespace mox
