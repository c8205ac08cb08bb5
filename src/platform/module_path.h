// Where this library and the host executable live on disk.
#pragma once

#include <optional>
#include <string>

namespace mox::platform {

// Full path of the shared object that contains this code (not of the host executable); empty when
// the system cannot tell.
std::string ThisModulePath();

// Full path of the executable of the current process; empty when the system cannot tell.
std::string HostExecutablePath();

// Test seams: make the functions above answer with the given path until reset with nullopt.
void OverrideThisModulePathForTesting(std::optional<std::string> path);
void OverrideHostExecutablePathForTesting(std::optional<std::string> path);

}  // namespace mox::platform
