#include "log/log_text.h"

#include <algorithm>

namespace mox {
namespace {

bool NeedsEscape(unsigned char byte) {
  return (byte < 0x20 && byte != '\t') || byte == 0x7F;
}

}  // namespace

std::string SafeForLog(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  const auto needs_escape = [](char c) { return NeedsEscape(static_cast<unsigned char>(c)); };
  // Most texts have nothing to escape: they are copied whole.
  auto next = std::find_if(text.begin(), text.end(), needs_escape);
  std::string safe(text.begin(), next);
  while (next != text.end()) {
    const auto byte = static_cast<unsigned char>(*next);
    const char escaped[] = {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
    safe.append(escaped, sizeof escaped);
    const auto plain_end = std::find_if(next + 1, text.end(), needs_escape);
    safe.append(next + 1, plain_end);
    next = plain_end;
  }
  return safe;
}

}  // namespace mox
