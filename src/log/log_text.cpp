#include "log/log_text.h"

namespace mox {
namespace {

bool NeedsEscape(unsigned char byte) {
  return (byte < 0x20 && byte != '\t') || byte == 0x7F;
}

}  // namespace

std::string SafeForLog(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string safe;
  safe.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (!NeedsEscape(byte)) {
      safe += c;
      continue;
    }
    const char escaped[] = {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
    safe.append(escaped, sizeof escaped);
  }
  return safe;
}

}  // namespace mox
