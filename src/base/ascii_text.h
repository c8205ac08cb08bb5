// Text helpers for the ASCII-only grammars the plug-in reads: key names compared without regard to
// letter case, and runs of digits. Letters beyond ASCII are compared byte for byte, as the system
// these files come from compares them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mox {

inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// The value of `digits` in `base` (10 or 16, either letter case), if it is a non-empty run of such
// digits no larger than `limit`.
inline std::optional<uint64_t> ParseDigitRun(std::string_view digits, int base, uint64_t limit) {
  if (digits.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const char c : digits) {
    int digit = -1;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && AsciiLower(c) >= 'a' && AsciiLower(c) <= 'f') {
      digit = AsciiLower(c) - 'a' + 10;
    }
    if (digit < 0) return std::nullopt;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (value > limit) return std::nullopt;  // also keeps the next step from overflowing
  }
  return value;
}

}  // namespace mox
