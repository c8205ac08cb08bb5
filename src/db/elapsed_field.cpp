#include "db/elapsed_field.h"

#include <charconv>
#include <chrono>

namespace mox {

int64_t SteadyMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string FormatElapsedField(int64_t elapsed_ms) {
  // "<%8lld> " without the cost of a format string.
  char digits[24];
  const std::size_t length = static_cast<std::size_t>(
      std::to_chars(digits, digits + sizeof digits, elapsed_ms).ptr - digits);
  std::string field(1, '<');
  if (length < 8) field.append(8 - length, ' ');
  field.append(digits, length);
  field += "> ";
  return field;
}

std::string ElapsedField(int64_t start_ms) {
  return FormatElapsedField(SteadyMilliseconds() - start_ms);
}

}  // namespace mox
