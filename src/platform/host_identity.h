// Who is sending: this machine's name and this process's id.
#pragma once

#include <string>

namespace mox::platform {

// This machine's host name; empty when the system cannot tell.
std::string HostName();

// The id of the current process.
long ProcessId();

}  // namespace mox::platform
