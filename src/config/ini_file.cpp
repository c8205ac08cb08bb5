#include "config/ini_file.h"

#include "base/ascii_text.h"
#include "platform/file_system.h"

namespace mox {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// Line end of lines we add to a file that has none of its own yet (the format's native one).
constexpr std::string_view kDefaultLineEnd = "\r\n";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsQuote(char c) {
  return c == '"' || c == '\'';
}
bool IsLineEndChar(char c) {
  return c == '\r' || c == '\n';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

enum class LineKind { kBlank, kComment, kSection, kKey, kOther };

// One line of the file as offsets into its text, so that a write can splice exactly one range and
// leave every other byte alone.
struct IniLine {
  std::size_t content_begin = 0;  // after a byte-order mark on the first line
  std::size_t content_end = 0;    // where the line end starts
  std::size_t next = 0;           // one past the line end
  LineKind kind = LineKind::kBlank;
  std::string_view name;        // section or key name, trimmed
  std::size_t value_begin = 0;  // the value with its quotes, trimmed (key lines only)
  std::size_t value_end = 0;

  bool has_line_end() const { return next > content_end; }
};

void Classify(std::string_view text, IniLine& line) {
  const std::string_view content =
      text.substr(line.content_begin, line.content_end - line.content_begin);
  const std::string_view trimmed = TrimBlanks(content);
  line.kind = LineKind::kOther;
  if (trimmed.empty()) {
    line.kind = LineKind::kBlank;
  } else if (trimmed.front() == ';' || trimmed.front() == '#') {
    line.kind = LineKind::kComment;
  } else if (trimmed.front() == '[') {
    const auto close = trimmed.find(']');
    if (close != std::string_view::npos) {
      line.kind = LineKind::kSection;
      line.name = TrimBlanks(trimmed.substr(1, close - 1));
    }
  } else if (const auto equals = content.find('='); equals != std::string_view::npos) {
    line.name = TrimBlanks(content.substr(0, equals));
    if (!line.name.empty()) {
      line.kind = LineKind::kKey;
      const std::string_view value = TrimBlanks(content.substr(equals + 1));
      // An empty value sits right after the "=".
      line.value_begin = value.empty() ? line.content_begin + equals + 1
                                       : static_cast<std::size_t>(value.data() - text.data());
      line.value_end = line.value_begin + value.size();
    }
  }
}

// Walks the lines of a file's text. A line ends at CR LF, a lone CR or a lone LF.
class LineScanner {
 public:
  explicit LineScanner(std::string_view text) : text_(text) {}

  bool Next(IniLine& line) {
    if (pos_ >= text_.size()) return false;
    line = IniLine{};
    line.content_begin = pos_;
    if (pos_ == 0 && text_.starts_with(kUtf8ByteOrderMark)) {
      line.content_begin = kUtf8ByteOrderMark.size();
    }
    const auto end = text_.find_first_of("\r\n", line.content_begin);
    if (end == std::string_view::npos) {
      line.content_end = line.next = text_.size();
    } else {
      line.content_end = end;
      line.next = end + 1;
      if (text_[end] == '\r' && line.next < text_.size() && text_[line.next] == '\n') ++line.next;
    }
    Classify(text_, line);
    pos_ = line.next;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

std::string_view FirstLineEnd(std::string_view text) {
  LineScanner scanner(text);
  IniLine line;
  while (scanner.Next(line)) {
    if (line.has_line_end()) {
      return text.substr(line.content_end, line.next - line.content_end);
    }
  }
  return kDefaultLineEnd;
}

std::string DecodeValue(std::string_view stored) {
  if (stored.size() >= 2 && IsQuote(stored.front()) && stored.back() == stored.front()) {
    stored = stored.substr(1, stored.size() - 2);
  }
  return std::string(stored.substr(0, IniFile::kMaxValueLength));
}

// The text to store so that reading gives `value` back: a value that reading would trim or
// unquote is wrapped in one more pair of quotes.
std::string EncodeValue(std::string_view value) {
  const bool needs_quotes =
      !value.empty() &&
      (IsBlank(value.front()) || IsBlank(value.back()) ||
       (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()));
  std::string stored;
  stored.reserve(value.size() + 2);
  // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on literal + std::string.
  if (needs_quotes) stored += '"';
  stored.append(value);
  if (needs_quotes) stored += '"';
  return stored;
}

bool ContainsLineEnd(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// Names that read back as themselves and cannot break the structure of the file.
bool IsWritableSectionName(std::string_view name) {
  return !name.empty() && TrimBlanks(name) == name && name.find(']') == std::string_view::npos &&
         !ContainsLineEnd(name);
}

bool IsWritableKeyName(std::string_view name) {
  return !name.empty() && TrimBlanks(name) == name && name.find('=') == std::string_view::npos &&
         name.front() != ';' && name.front() != '#' && name.front() != '[' &&
         !ContainsLineEnd(name);
}

// `text` with `key` set to the already encoded `stored` value in the first `section`.
std::string WithEntry(std::string text, std::string_view section, std::string_view key,
                      std::string_view stored) {
  const std::string entry = std::string(key) + "=" + std::string(stored);
  bool in_section = false;
  IniLine last_in_section;  // the header or the section's last non-empty line
  {
    LineScanner scanner(text);
    IniLine line;
    while (scanner.Next(line)) {
      if (line.kind == LineKind::kSection) {
        if (in_section) break;  // only the first matching section counts
        if (EqualsIgnoringAsciiCase(line.name, section)) {
          in_section = true;
          last_in_section = line;
        }
        continue;
      }
      if (!in_section) continue;
      if (line.kind == LineKind::kKey && EqualsIgnoringAsciiCase(line.name, key)) {
        // The whole line becomes key=value, as the platform's profile functions write it: blanks
        // and quotes around the old value, and the old key's spelling, do not survive.
        text.replace(line.content_begin, line.content_end - line.content_begin, entry);
        return text;
      }
      if (line.kind != LineKind::kBlank) last_in_section = line;
    }
  }

  if (in_section) {
    const IniLine& last = last_in_section;
    if (last.has_line_end()) {
      const std::string line_end = text.substr(last.content_end, last.next - last.content_end);
      text.insert(last.next, entry + line_end);
    } else {
      const std::string line_end(FirstLineEnd(text));
      text.insert(last.next, line_end + entry + line_end);
    }
    return text;
  }

  const std::string line_end(FirstLineEnd(text));
  const bool ends_open = !text.empty() && text != kUtf8ByteOrderMark && !IsLineEndChar(text.back());
  if (ends_open) text += line_end;
  text.append(1, '[').append(section).append(1, ']').append(line_end).append(entry).append(
      line_end);
  return text;
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view default_value) const {
  std::string text;
  if (!platform::ReadWholeFile(path_, text)) return std::string(default_value);
  LineScanner scanner(text);
  IniLine line;
  bool in_section = false;
  while (scanner.Next(line)) {
    if (line.kind == LineKind::kSection) {
      if (in_section) break;  // only the first matching section counts
      in_section = EqualsIgnoringAsciiCase(line.name, section);
    } else if (in_section && line.kind == LineKind::kKey &&
               EqualsIgnoringAsciiCase(line.name, key)) {
      return DecodeValue(
          std::string_view(text).substr(line.value_begin, line.value_end - line.value_begin));
    }
  }
  return std::string(default_value);
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  // A line end inside a value would smuggle extra lines (or keys) into the file.
  if (!IsWritableSectionName(section) || !IsWritableKeyName(key) || ContainsLineEnd(value)) {
    return false;
  }
  std::string text;
  if (!platform::ReadWholeFile(path_, text)) {
    // Only a file that is not there may be started afresh; one we cannot read is never clobbered.
    if (!platform::FileIsMissing(path_)) return false;
    text.clear();
  }
  return platform::ReplaceFileAtomically(
      path_, WithEntry(std::move(text), section, key, EncodeValue(value)));
}

}  // namespace mox
