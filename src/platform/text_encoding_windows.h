// The one conversion between the UTF-8 the plug-in holds and the UTF-16 of the system's wide
// calls, for the Windows platform layer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mox::platform {

// `utf8` as UTF-16; nullopt when it is not UTF-8 (an invalid or cut sequence, an encoded
// surrogate).
std::optional<std::wstring> WideFromUtf8(std::string_view utf8);

// `wide` as UTF-8; nullopt when it is not UTF-16 (an unpaired surrogate, which a file name on
// Windows may hold).
std::optional<std::string> Utf8FromWide(std::wstring_view wide);

// `path` for a wide call: WideFromUtf8, and nullopt for a path holding a NUL too. On failure the
// thread's last error says why (ERROR_NO_UNICODE_TRANSLATION, ERROR_INVALID_NAME), as a failed
// call would.
std::optional<std::wstring> WidePath(std::string_view path);

}  // namespace mox::platform
