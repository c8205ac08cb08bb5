// Where this library and the host executable live on disk.
#pragma once

#include <optional>
#include <string>

namespace mox::platform {

// Absolute path of the shared object that contains this code (not of the host executable), as the
// host named it (symbolic links are not resolved), fixed at the first call; empty when the system
// cannot tell.
std::string ThisModulePath();

// Full path of the executable of the current process; empty when the system cannot tell.
std::string HostExecutablePath();

// Test seams: make the functions above answer with the given path until reset with nullopt.
void OverrideThisModulePathForTesting(std::optional<std::string> path);
void OverrideHostExecutablePathForTesting(std::optional<std::string> path);

}  // namespace mox::platform
