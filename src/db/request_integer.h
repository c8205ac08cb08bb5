// The integer a blocking command passes last to its procedure, read from a request-list value.
#pragma once

#include <cstdint>
#include <string_view>

namespace mox {

// Leading spaces, an optional sign, then decimal digits or hexadecimal digits after $, x or 0x (any
// letter case), and nothing after. Decimal must fit a signed 32-bit integer; hexadecimal may carry
// up to 32 bits, read as the signed integer with those bits. Anything else gives `fallback`.
int32_t ParseRequestInteger(std::string_view text, int32_t fallback);

}  // namespace mox
