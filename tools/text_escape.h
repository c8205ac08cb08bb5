// Byte texts shown to people and typed by them: non-printable bytes as \xHH escapes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mox::host {

// `bytes` with every byte outside printable ASCII written as \xHH (lower-case hex) and the
// backslash as \\. The result reads back through UnescapeText unchanged.
std::string EscapeBytes(std::string_view bytes);

// EscapeBytes in double quotes, with inner double quotes written as \".
std::string QuotedBytes(std::string_view bytes);

// Reads the escapes an operator may type: \xHH (one or two hex digits), \0, \t, \n, \r, \s (a
// space), \\ and \". Any other byte stands for itself. Empty when the text holds a malformed
// escape; `error` then says which.
std::optional<std::string> UnescapeText(std::string_view text, std::string* error);

}  // namespace mox::host
