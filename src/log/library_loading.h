// Run-time library loading as the program log uses it for the log-server client.
#pragma once

#include <string>

#include "platform/dynamic_library.h"

namespace mox {

// Loads `name` from beside the host executable when it has no directory part and is there, else
// through the system's search (which does not look in the working directory). Empty when both
// fail; then `tried` (when given) says what was tried and why it failed ("<path>: <reason>; ...").
platform::DynamicLibrary LoadLibraryBesideHost(const std::string& name,
                                               std::string* tried = nullptr);

}  // namespace mox
