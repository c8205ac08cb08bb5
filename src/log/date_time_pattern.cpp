#include "log/date_time_pattern.h"

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

}  // namespace

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
