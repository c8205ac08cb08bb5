#include "config/setting_values.h"

#include <limits>

#include "base/ascii_text.h"

namespace mox {

std::optional<int32_t> ParseIniInteger(std::string_view text) {
  constexpr uint64_t kMax = std::numeric_limits<int32_t>::max();
  constexpr uint64_t kMinMagnitude = uint64_t{1} << 31;
  if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    const auto value = ParseDigitRun(text.substr(2), 16, kMax);
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
  const auto magnitude = ParseDigitRun(text, base, negative ? kMinMagnitude : kMax);
  if (!magnitude) return std::nullopt;
  return negative ? static_cast<int32_t>(0 - static_cast<int64_t>(*magnitude))
                  : static_cast<int32_t>(*magnitude);
}

}  // namespace mox
