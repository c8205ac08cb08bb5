// How the settings file spells integers and Booleans.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace mox {

// The integer an ini value stands for: "0x"/"0X" and hexadecimal digits when the text has at least
// three characters; otherwise an optional sign and either decimal digits or "$" and hexadecimal
// digits. Nothing for any text that is not such a number or lies outside the signed 32-bit range.
std::optional<int32_t> ParseIniInteger(std::string_view text);

}  // namespace mox
