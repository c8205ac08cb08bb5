// What the program log is created from: the file-name pattern under the host's directory and the
// log-server parameter from the host's ini file.
#pragma once

#include <string>
#include <string_view>

namespace mox {

// The pattern <host_directory>Logs/YYYY_MM_DD/HH_<module_name>.log with every literal piece
// quoted, so that letters of the paths are never read as date-time tokens. `host_directory`
// ends with its path separator.
std::string BuildProgramLogPattern(std::string_view host_directory, std::string_view module_name);

// The log-server parameter: key ModuleName() in section "Debug" of the host's ini file (the host
// executable's path with the extension ".ini"). Empty when the file, section or key is missing.
std::string ReadDebugSetting();

}  // namespace mox
