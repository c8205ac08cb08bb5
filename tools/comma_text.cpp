#include "tools/comma_text.h"

#include <algorithm>
#include <cctype>

namespace mox::host {

namespace {

bool IsBlank(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 1 && byte <= 32;
}

// An entry as the comma-text writer puts it: quoted when it holds a quote, a comma or a byte
// from 1 to 32.
std::string QuotedIfNeeded(std::string_view entry) {
  const bool needs_quotes = std::any_of(entry.begin(), entry.end(),
                                        [](char c) { return c == '"' || c == ',' || IsBlank(c); });
  if (!needs_quotes) return std::string(entry);
  std::string out = "\"";
  for (char c : entry) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         }) != text.end();
}

}  // namespace

CommaTextReading ReadCommaText(std::string_view text) {
  CommaTextReading reading;
  const std::size_t size = text.size();
  std::size_t pos = 0;
  auto at_end = [&] { return pos >= size || text[pos] == '\0'; };
  auto skip_blanks = [&] {
    while (pos < size && IsBlank(text[pos])) ++pos;
  };

  skip_blanks();
  while (!at_end()) {
    CommaEntry entry{{}, pos, pos};
    if (text[pos] == '"') {
      ++pos;
      for (;;) {
        if (at_end()) {
          reading.unclosed_quote = true;
          break;
        }
        if (text[pos] == '"') {
          if (pos + 1 < size && text[pos + 1] == '"') {
            entry.text += '"';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        entry.text += text[pos++];
      }
    } else {
      while (!at_end() && text[pos] != ',' && !IsBlank(text[pos])) entry.text += text[pos++];
    }
    entry.end = pos;
    reading.entries.push_back(std::move(entry));

    skip_blanks();
    if (pos < size && text[pos] == ',') {
      const bool comma_is_last = pos + 1 >= size || text[pos + 1] == '\0';
      if (comma_is_last) reading.entries.push_back({{}, pos + 1, pos + 1});
      ++pos;
      skip_blanks();
    }
  }
  reading.consumed = pos;
  return reading;
}

std::string_view EntryName(std::string_view entry) {
  const auto equals = entry.find('=');
  return equals == std::string_view::npos ? std::string_view() : entry.substr(0, equals);
}

bool IsPasswordName(std::string_view name) {
  return ContainsIgnoringCase(name, "pwd") || ContainsIgnoringCase(name, "password");
}

std::string MaskedEntry(std::string_view entry) {
  const std::string_view name = EntryName(entry);
  if (!IsPasswordName(name)) return std::string(entry);
  return std::string(name) + "=***";
}

std::string MaskPasswordsInCommaText(std::string_view text) {
  const CommaTextReading reading = ReadCommaText(text);
  std::string out;
  std::size_t copied = 0;
  for (const CommaEntry& entry : reading.entries) {
    if (!IsPasswordName(EntryName(entry.text))) continue;
    out.append(text.substr(copied, entry.begin - copied));
    out += QuotedIfNeeded(MaskedEntry(entry.text));
    copied = entry.end;
  }
  out.append(text.substr(copied));
  return out;
}

}  // namespace mox::host
