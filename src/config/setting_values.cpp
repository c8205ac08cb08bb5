#include "config/setting_values.h"

#include <limits>

namespace mox {
namespace {

std::optional<int> DigitValue(char c, int base) {
  int value = -1;
  if (c >= '0' && c <= '9') {
    value = c - '0';
  } else if (c >= 'a' && c <= 'f') {
    value = c - 'a' + 10;
  } else if (c >= 'A' && c <= 'F') {
    value = c - 'A' + 10;
  }
  if (value < 0 || value >= base) return std::nullopt;
  return value;
}

// The magnitude of `digits` in `base`, if it is a non-empty run of digits no larger than `limit`.
std::optional<int64_t> ParseMagnitude(std::string_view digits, int base, int64_t limit) {
  if (digits.empty()) return std::nullopt;
  int64_t magnitude = 0;
  for (const char c : digits) {
    const auto digit = DigitValue(c, base);
    if (!digit) return std::nullopt;
    magnitude = magnitude * base + *digit;
    if (magnitude > limit) return std::nullopt;  // also keeps the next step from overflowing
  }
  return magnitude;
}

}  // namespace

std::optional<int32_t> ParseIniInteger(std::string_view text) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int64_t kMinMagnitude = -static_cast<int64_t>(std::numeric_limits<int32_t>::min());
  if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    const auto value = ParseMagnitude(text.substr(2), 16, kMax);
    if (!value) return std::nullopt;
    return static_cast<int32_t>(*value);
  }
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (!text.empty() && text.front() == '$') {
    base = 16;
    text.remove_prefix(1);
  }
  const auto magnitude = ParseMagnitude(text, base, negative ? kMinMagnitude : kMax);
  if (!magnitude) return std::nullopt;
  return static_cast<int32_t>(negative ? -*magnitude : *magnitude);
}

}  // namespace mox
