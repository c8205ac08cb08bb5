#include "log/date_time_pattern.h"

#include <array>
#include <cstdio>

namespace mox {
namespace {

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// True when `pattern` continues at `pos` with `token` (given in upper case), in either case.
bool StartsWithToken(std::string_view pattern, std::size_t pos, std::string_view token) {
  if (pattern.size() - pos < token.size()) return false;
  for (std::size_t i = 0; i < token.size(); ++i) {
    if (Upper(pattern[pos + i]) != token[i]) return false;
  }
  return true;
}

void AppendNumber(std::string& out, int value, int digits) {
  char buffer[16];
  const int n = std::snprintf(buffer, sizeof buffer, "%0*d", digits, value);
  if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
}

struct NumberToken {
  std::string_view text;
  int platform::LocalDateTime::*field;
  int digits;
};

// Longer tokens first, so that "YYYY" is never read as something shorter.
constexpr NumberToken kNumberTokens[] = {
    {"YYYY", &platform::LocalDateTime::year, 4}, {"ZZZ", &platform::LocalDateTime::millisecond, 3},
    {"MM", &platform::LocalDateTime::month, 2},  {"DD", &platform::LocalDateTime::day, 2},
    {"HH", &platform::LocalDateTime::hour, 2},   {"NN", &platform::LocalDateTime::minute, 2},
    {"SS", &platform::LocalDateTime::second, 2},
};

std::array<int, 7> Fields(const platform::LocalDateTime& when) {
  return {when.year, when.month, when.day, when.hour, when.minute, when.second, when.millisecond};
}

void WriteTwoDigits(int value, char* out) {
  out[0] = static_cast<char>('0' + value / 10 % 10);
  out[1] = static_cast<char>('0' + value % 10);
}

}  // namespace

void FormatTimeStamp(const platform::LocalDateTime& when, char (&out)[kTimeStampSize]) {
  WriteTwoDigits(when.hour, out);
  out[2] = ':';
  WriteTwoDigits(when.minute, out + 3);
  out[5] = ':';
  WriteTwoDigits(when.second, out + 6);
  out[8] = '.';
  out[9] = static_cast<char>('0' + when.millisecond / 100 % 10);
  WriteTwoDigits(when.millisecond % 100, out + 10);
  out[12] = ' ';
}

CachedDateTimeFormat::CachedDateTimeFormat(std::string pattern) : pattern_(std::move(pattern)) {
  // A field is shown when changing it alone changes the formatted text; asking the formatter
  // keeps this in step with its token rules (quotes, case) without a second parser.
  const platform::LocalDateTime base{2001, 1, 1, 1, 1, 1, 1};
  const std::string base_text = FormatDateTime(pattern_, base);
  int platform::LocalDateTime::*const fields[] = {
      &platform::LocalDateTime::year,       &platform::LocalDateTime::month,
      &platform::LocalDateTime::day,        &platform::LocalDateTime::hour,
      &platform::LocalDateTime::minute,     &platform::LocalDateTime::second,
      &platform::LocalDateTime::millisecond};
  for (std::size_t i = 0; i < shown_.size(); ++i) {
    platform::LocalDateTime changed = base;
    changed.*fields[i] += 1;
    shown_[i] = FormatDateTime(pattern_, changed) != base_text;
  }
}

const std::string& CachedDateTimeFormat::Format(const platform::LocalDateTime& when) {
  std::array<int, 7> key = Fields(when);
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (!shown_[i]) key[i] = 0;
  }
  if (!formatted_ || key != last_key_) {
    text_ = FormatDateTime(pattern_, when);
    last_key_ = key;
    formatted_ = true;
  }
  return text_;
}

std::string FormatDateTime(std::string_view pattern, const platform::LocalDateTime& when) {
  std::string out;
  out.reserve(pattern.size() + 8);
  std::size_t pos = 0;
  while (pos < pattern.size()) {
    const char c = pattern[pos];
    if (c == '"' || c == '\'') {
      const std::size_t close = pattern.find(c, pos + 1);
      const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
      out.append(pattern.substr(pos + 1, end - pos - 1));
      pos = close == std::string_view::npos ? end : close + 1;
      continue;
    }
    if (c == ':') {
      out.push_back(':');
      ++pos;
      continue;
    }
    bool matched = false;
    for (const NumberToken& token : kNumberTokens) {
      if (StartsWithToken(pattern, pos, token.text)) {
        AppendNumber(out, when.*token.field, token.digits);
        pos += token.text.size();
        matched = true;
        break;
      }
    }
    if (!matched) {
      out.push_back(c);
      ++pos;
    }
  }
  return out;
}

std::string QuotePatternLiteral(std::string_view text) {
  if (text.empty()) return {};
  std::string out;
  out.reserve(text.size() + 2);
  char quote = text.front() == '"' ? '\'' : '"';
  out.push_back(quote);
  for (const char c : text) {
    if (c == quote) {
      // Close this run and go on in the other kind of quotes, which may contain this character.
      out.push_back(quote);
      quote = quote == '"' ? '\'' : '"';
      out.push_back(quote);
    }
    out.push_back(c);
  }
  out.push_back(quote);
  return out;
}

}  // namespace mox
