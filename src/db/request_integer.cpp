#include "db/request_integer.h"

#include <limits>

#include "base/ascii_text.h"

namespace mox {

int32_t ParseRequestInteger(std::string_view text, int32_t fallback) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  const std::optional<uint64_t> digits =
      ParseDigitRun(text.substr(i), hex ? 16 : 10, 0xFFFFFFFFull);
  if (!digits) return fallback;
  const uint64_t magnitude = *digits;

  if (hex) {
    // The bits as a signed 32-bit integer, then the sign.
    const auto bits = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
    return negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(bits)) : bits;
  }
  const uint64_t limit = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
  if (magnitude > limit) return fallback;
  return negative ? static_cast<int32_t>(0 - static_cast<int64_t>(magnitude))
                  : static_cast<int32_t>(magnitude);
}

}  // namespace mox
