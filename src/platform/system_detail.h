// The operating-system side of units whose logic is shared: each system's *_posix.cpp or
// *_windows.cpp file defines these.
#pragma once

#include <ctime>
#include <string>

namespace mox::platform::detail {

// Absolute path of the module that contains this code, as the loader names it; empty when
// unknown.
std::string SystemModulePath();

// Full path of the executable of the current process; empty when unknown.
std::string SystemExecutablePath();

// `t` broken down in the local time zone.
std::tm LocalCalendar(std::time_t t);

}  // namespace mox::platform::detail
