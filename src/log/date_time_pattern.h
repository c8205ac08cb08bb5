// The small pattern language that formats a local date and time: the log's time stamp and the
// names of time-separated log files.
//
// Tokens, in upper or lower case: YYYY year (four digits), MM month, DD day, HH hour (00..23),
// NN minute, SS second (two digits each), ZZZ millisecond (three digits), ":" the time separator
// (always a colon here). Text in double or single quotes is copied without its quotes and without
// looking for tokens in it (an unterminated quote runs to the end). Every other character is copied
// unchanged.
#pragma once

#include <string>
#include <string_view>

#include "platform/local_time.h"

namespace mox {

// The pattern evaluated against `when`.
std::string FormatDateTime(std::string_view pattern, const platform::LocalDateTime& when);

// `text` as a pattern piece that formats to exactly `text`. Quoted with double quotes; a run that
// contains a double quote is quoted with single quotes instead, since no quote can stand for
// itself inside its own kind of quotes.
std::string QuotePatternLiteral(std::string_view text);

}  // namespace mox
