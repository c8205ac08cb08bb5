// Run-time library loading as the program log uses it for the log-server client.
#pragma once

#include <string>

#include "platform/dynamic_library.h"

namespace mox {

// Loads `name` through the system's normal search; when that fails and `name` has no directory
// part, tries once more beside the host executable. Empty when both fail.
platform::DynamicLibrary LoadLib(const std::string& name);

// Address of the export `name`, or nullptr.
void* GetLibProc(const platform::DynamicLibrary& library, const char* name);

// Unloads the library (nothing happens for an empty one).
void FreeLib(platform::DynamicLibrary& library);

// Full path of this library's own module file; empty when the system cannot tell.
std::string GetThisModuleName();

}  // namespace mox
