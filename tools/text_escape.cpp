#include "tools/text_escape.h"

namespace mox::host {

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Escaped(std::string_view bytes, bool escape_quotes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || (escape_quotes && c == '"')) {
      out += '\\';
      out += c;
    } else if (byte >= 0x20 && byte < 0x7f) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0f];
    }
  }
  return out;
}

}  // namespace

std::string EscapeBytes(std::string_view bytes) {
  return Escaped(bytes, false);
}

std::string QuotedBytes(std::string_view bytes) {
  return '"' + Escaped(bytes, true) + '"';
}

std::optional<std::string> UnescapeText(std::string_view text, std::string* error) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) {
      if (error) *error = "a lone backslash ends the text (write \\\\ for a backslash)";
      return std::nullopt;
    }
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case '"':
        out += '"';
        break;
      case '0':
        out += '\0';
        break;
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 's':
        out += ' ';
        break;
      case 'x': {
        int value = -1;
        if (i + 1 < text.size()) value = HexDigitValue(text[i + 1]);
        if (value < 0) {
          if (error) *error = "\\x needs one or two hex digits";
          return std::nullopt;
        }
        ++i;
        if (i + 1 < text.size() && HexDigitValue(text[i + 1]) >= 0) {
          value = value * 16 + HexDigitValue(text[i + 1]);
          ++i;
        }
        out += static_cast<char>(value);
        break;
      }
      default:
        if (error) *error = std::string("unknown escape \\") + text[i];
        return std::nullopt;
    }
  }
  return out;
}

}  // namespace mox::host
