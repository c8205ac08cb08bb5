// Making outside text safe for a log line.
#pragma once

#include <string>
#include <string_view>

namespace mox {

// `text` with every control byte except TAB (0x00 to 0x1F, and 0x7F) written as \xNN, two
// upper-case hex digits; all other bytes as they are. Every text that comes from outside the
// plug-in (a command text, a value read from the database, a message of the client library, a
// path) goes through here before it becomes part of a log line: a CR or LF in it would start a
// forged, time-stamped line of its own, and a NUL would hide the rest of the line from the log
// server.
std::string SafeForLog(std::string_view text);

}  // namespace mox
