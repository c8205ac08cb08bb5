// The small pattern language that formats a local date and time: the log's time stamp and the
// names of time-separated log files.
//
// Tokens, in upper or lower case: YYYY year (four digits), MM month, DD day, HH hour (00..23),
// NN minute, SS second (two digits each), ZZZ millisecond (three digits), ":" the time separator
// (always a colon here). Text in double or single quotes is copied without its quotes and without
// looking for tokens in it (an unterminated quote runs to the end). Every other character is copied
// unchanged.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace mox {

// The pattern evaluated against `when`.
std::string FormatDateTime(std::string_view pattern, const platform::LocalDateTime& when);

// The log's time stamp, "HH:NN:SS.ZZZ " (with its trailing blank), written straight into `out`:
// the text FormatDateTime gives for that pattern, without walking a pattern for every line.
inline constexpr std::size_t kTimeStampSize = 13;
void FormatTimeStamp(const platform::LocalDateTime& when, char (&out)[kTimeStampSize]);

// FormatDateTime of one pattern, formatted again only when a field that the pattern shows has
// changed since the last call: a file-name pattern down to the hour is formatted once an hour.
// Not thread-safe: the owner serialises calls.
class CachedDateTimeFormat {
 public:
  explicit CachedDateTimeFormat(std::string pattern);

  // FormatDateTime(pattern, when); the reference is valid until the next call.
  const std::string& Format(const platform::LocalDateTime& when);

 private:
  std::string pattern_;
  // Whether the pattern shows year, month, day, hour, minute, second, millisecond.
  std::array<bool, 7> shown_{};
  std::array<int, 7> last_key_{};
  bool formatted_ = false;
  std::string text_;
};

// `text` as a pattern piece that formats to exactly `text`. Quoted with double quotes; a run that
// contains a double quote is quoted with single quotes instead, since no quote can stand for
// itself inside its own kind of quotes.
std::string QuotePatternLiteral(std::string_view text);

}  // namespace mox
