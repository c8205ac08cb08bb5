// The names every log line sent to the log server carries: the host executable's and this
// library's file names (without directory).
#pragma once

#include <string>

namespace mox {

// Set by CreateUniLog, while the library loads.
void SetLogNames(std::string host_exe_name, std::string module_name);
// Clears both (the last step of library unload).
void ClearUniLogNames() noexcept;

const std::string& HostExeName();
const std::string& ModuleName();

}  // namespace mox
