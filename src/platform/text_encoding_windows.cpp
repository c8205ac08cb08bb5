// UTF-8 inside, UTF-16 for the system's wide calls, the ANSI code page for the log and the host.
#include "platform/text_encoding_windows.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "platform/text_encoding.h"

namespace mox::platform {
namespace {

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsHighSurrogate(wchar_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

// "<U+0425>" for one character of one or two UTF-16 units.
std::string CodePointMark(std::wstring_view units) {
  unsigned long code_point = units[0];
  if (units.size() == 2) code_point = 0x10000 + ((code_point - 0xD800) << 10) + (units[1] - 0xDC00);
  char mark[16];
  const int n = std::snprintf(mark, sizeof mark, "<U+%04lX>", code_point);
  return std::string(mark, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// The ANSI code page's bytes for one character; nullopt when the code page lacks it (no
// best-fit look-alike: "Ā" is not "A").
std::optional<std::string> CodePageCharacter(std::wstring_view units) {
  char bytes[8];
  BOOL used_default = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units.data(),
                                    static_cast<int>(units.size()), bytes, sizeof bytes, nullptr,
                                    &used_default);
  if (n <= 0 || used_default) return std::nullopt;
  return std::string(bytes, static_cast<std::size_t>(n));
}

// `text` (UTF-8) in the ANSI code page; a character the code page lacks as its mark with
// `mark_missing`, else the whole conversion fails. nullopt for a text that is not UTF-8.
std::optional<std::string> ToCodePage(std::string_view text, bool mark_missing) {
  // Every ANSI code page holds ASCII as it is.
  if (IsAscii(text)) return std::string(text);
  const std::optional<std::wstring> wide = WideFromUtf8(text);
  if (!wide) return std::nullopt;
  // A system whose ANSI code page is UTF-8 holds every character, and takes no flags for it.
  if (GetACP() == CP_UTF8) return std::string(text);
  std::string narrow;
  narrow.reserve(text.size());
  for (std::size_t i = 0; i < wide->size();) {
    // Valid UTF-8 gives complete surrogate pairs.
    const std::size_t units = IsHighSurrogate((*wide)[i]) ? 2 : 1;
    const std::wstring_view character(wide->data() + i, units);
    if (std::optional<std::string> bytes = CodePageCharacter(character)) {
      narrow += *bytes;
    } else if (mark_missing) {
      narrow += CodePointMark(character);
    } else {
      return std::nullopt;
    }
    i += units;
  }
  return narrow;
}

}  // namespace

std::optional<std::wstring> WideFromUtf8(std::string_view utf8) {
  if (utf8.empty()) return std::wstring();
  if (utf8.size() > INT_MAX) return std::nullopt;
  const int size = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), n) != n) {
    return std::nullopt;
  }
  return wide;
}

std::optional<std::string> Utf8FromWide(std::wstring_view wide) {
  if (wide.empty()) return std::string();
  if (wide.size() > INT_MAX / 4) return std::nullopt;
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, nullptr, 0,
                                    nullptr, nullptr);
  if (n <= 0) return std::nullopt;
  std::string utf8(static_cast<std::size_t>(n), '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, utf8.data(), n, nullptr,
                          nullptr) != n) {
    return std::nullopt;
  }
  return utf8;
}

std::optional<std::wstring> WidePath(std::string_view path) {
  // A NUL would end the path early: the call would act on another file.
  if (path.find('\0') != std::string_view::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return std::nullopt;
  }
  std::optional<std::wstring> wide = WideFromUtf8(path);
  if (!wide) SetLastError(ERROR_NO_UNICODE_TRANSLATION);
  return wide;
}

std::optional<std::string> InSystemCodePage(std::string_view text) {
  return ToCodePage(text, false);
}

std::string PathForLog(std::string_view path) {
  std::optional<std::string> shown = ToCodePage(path, true);
  return shown ? std::move(*shown) : std::string(path);
}

}  // namespace mox::platform
