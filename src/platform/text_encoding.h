// Paths and names as the plug-in holds them, and as 8-bit readers outside it (the log, a host,
// the host's ini file) expect them. Inside the plug-in a path is a byte string: on POSIX systems
// the bytes the system gives, on Windows UTF-8, which the Windows platform layer turns into UTF-16
// for the system's wide calls. The log and the hosts of a Windows system read text in its ANSI code
// page, so a path going to them is converted where that text is made.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mox::platform {

// `text` in the system's 8-bit code page: on Windows the ANSI code page, nullopt when that lacks
// one of the characters of `text` or `text` is not UTF-8; on POSIX systems `text` as it is.
std::optional<std::string> InSystemCodePage(std::string_view text);

// `path` as a log line shows it, and as a host gets a name derived from it: on Windows each
// character in the ANSI code page's bytes, each character the code page lacks as "<U+XXXX>" (its
// code point, upper-case hexadecimal, at least four digits), and a text that is not UTF-8 as it is;
// on POSIX systems `path` as it is. "<" and ">" never occur in a Windows file name, so the form
// cannot be mistaken for one.
std::string PathForLog(std::string_view path);

}  // namespace mox::platform
