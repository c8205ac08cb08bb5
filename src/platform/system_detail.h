// The operating-system side of units whose logic is shared: each system's *_posix.cpp or
// *_windows.cpp file defines these.
#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace mox::platform::detail {

// Absolute path of the module that contains this code, as the loader names it; empty when
// unknown.
std::string SystemModulePath();

// Full path of the executable of the current process; empty when unknown.
std::string SystemExecutablePath();

// `t` broken down in the local time zone.
std::tm LocalCalendar(std::time_t t);

// Creates the one directory `path` whose parent exists. True when it was made or already existed.
bool CreateOneDirectory(const std::string& path);

// True for a level of a path that always exists and cannot be created, such as a drive ("C:").
bool IsVolumeRoot(const std::string& level);

// Seconds that local time is ahead of UTC at `instant`; nullopt when the system cannot tell.
std::optional<long> UtcOffsetSecondsAt(std::time_t instant);

}  // namespace mox::platform::detail
