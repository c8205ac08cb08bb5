// The date-time pattern language: any pattern against any valid date and time.
//
// Input: nine bytes that choose the date and time, then the pattern. Formatting never fails hard;
// a quoted literal formats to exactly its text, alone or in front of any pattern, so a literal
// never leaks into what follows it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "log/date_time_pattern.h"
#include "platform/clock.h"

namespace {

using mox::fuzz::Check;

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// A valid date and time from the first nine bytes (missing bytes count as zero): years 1 to 9999.
mox::platform::LocalDateTime DateTimeFrom(std::string_view& input) {
  unsigned char b[9] = {};
  for (std::size_t i = 0; i < sizeof b && !input.empty(); ++i) {
    b[i] = static_cast<unsigned char>(input.front());
    input.remove_prefix(1);
  }
  mox::platform::LocalDateTime when;
  when.year = 1 + (b[0] | b[1] << 8) % 9999;
  when.month = 1 + b[2] % 12;
  when.day = 1 + b[3] % DaysInMonth(when.year, when.month);
  when.hour = b[4] % 24;
  when.minute = b[5] % 60;
  when.second = b[6] % 60;
  when.millisecond = (b[7] | b[8] << 8) % 1000;
  return when;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const mox::platform::LocalDateTime when = DateTimeFrom(input);
  const std::string_view pattern = input;

  const std::string formatted = mox::FormatDateTime(pattern, when);
  // A valid date and time fits every token in as many digits as the token has letters, and quotes
  // make no output: nothing grows.
  Check(formatted.size() <= pattern.size(), "a pattern formats to no more bytes than it has");

  const std::string literal = mox::QuotePatternLiteral(pattern);
  Check(mox::FormatDateTime(literal, when) == pattern, "a quoted literal formats to its text");
  Check(
      mox::FormatDateTime(literal + std::string(pattern), when) == std::string(pattern) + formatted,
      "a quoted literal leaves the pattern after it alone");
  return 0;
}
