#include "db/request_list.h"

#include <algorithm>
#include <cstddef>
#include <optional>

#include "base/ascii_text.h"
#include "log/log_text.h"

namespace mox {
namespace {

constexpr char kQuote = '"';
constexpr char kDelimiter = ',';
constexpr std::string_view kMask = "***";

// Space and the control characters: they separate unquoted entries and force quoting.
bool IsBlank(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 1 && byte <= 32;
}

// The name of an entry: the text before its first "=", or nothing when it has none.
std::optional<std::string_view> EntryName(std::string_view entry) {
  const std::size_t equals = entry.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return entry.substr(0, equals);
}

bool NeedsQuotes(std::string_view entry) {
  for (char c : entry) {
    if (c == kQuote || c == kDelimiter || IsBlank(c)) return true;
  }
  return false;
}

void AppendQuoted(std::string& out, std::string_view entry) {
  out += kQuote;
  for (char c : entry) {
    if (c == kQuote) out += kQuote;
    out += c;
  }
  out += kQuote;
}

// One entry of a comma text as it stands in the raw text.
struct RawEntry {
  std::size_t begin = 0;  // first byte (the opening quote of a quoted entry)
  std::size_t end = 0;    // one past the last byte (past the closing quote)
  bool quoted = false;
  std::string text;  // the entry with its quotes removed and doubled quotes undone
};

// Splits a comma text into entries by the reading rules: blanks outside quotes separate entries
// like a comma does, two commas in a row or a comma at either end give an empty entry, a quoted
// entry runs to its closing quote. Reading stops at the end of the text or at a NUL byte.
class CommaTextScanner {
 public:
  explicit CommaTextScanner(std::string_view text) : text_(text) { SkipBlanks(); }

  bool AtEnd() const { return pos_ >= text_.size() || text_[pos_] == '\0'; }
  // Where reading stopped: the end of the text, a NUL byte, or the quote that was never closed.
  std::size_t Position() const { return pos_; }
  bool Malformed() const { return malformed_; }

  // The next entry, then the trailing empty entry that a final comma implies (as a second
  // result). Nothing when the text has ended or a quote is left open.
  std::optional<RawEntry> Next() {
    if (pending_empty_) {
      pending_empty_ = false;
      return RawEntry{pos_, pos_, false, {}};
    }
    if (AtEnd() || malformed_) return std::nullopt;

    RawEntry entry;
    entry.begin = pos_;
    if (text_[pos_] == kQuote) {
      if (!ReadQuoted(entry)) {
        malformed_ = true;
        return std::nullopt;
      }
    } else {
      while (pos_ < text_.size() && text_[pos_] != kDelimiter && text_[pos_] != '\0' &&
             !IsBlank(text_[pos_])) {
        ++pos_;
      }
      entry.text.assign(text_.substr(entry.begin, pos_ - entry.begin));
    }
    entry.end = pos_;

    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == kDelimiter) {
      const std::size_t after = pos_ + 1;
      if (after >= text_.size() || text_[after] == '\0') pending_empty_ = true;
      ++pos_;
      SkipBlanks();
    }
    return entry;
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }

  // Reads from the opening quote to the closing one; a doubled quote inside gives one quote.
  // False when the text (or a NUL) ends before the closing quote.
  bool ReadQuoted(RawEntry& entry) {
    std::size_t p = pos_ + 1;
    while (p < text_.size() && text_[p] != '\0') {
      if (text_[p] == kQuote) {
        if (p + 1 < text_.size() && text_[p + 1] == kQuote) {
          entry.text += kQuote;
          p += 2;
          continue;
        }
        entry.quoted = true;
        pos_ = p + 1;
        return true;
      }
      entry.text += text_[p];
      ++p;
    }
    return false;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  bool pending_empty_ = false;
  bool malformed_ = false;
};

}  // namespace

bool IsPasswordKey(std::string_view name) {
  return EqualsIgnoringAsciiCase(name, "BlockNumberPWD") ||
         EqualsIgnoringAsciiCase(name, "BlockNumberPWDNew");
}

std::string RequestList::Value(std::string_view key) const {
  for (const std::string& entry : entries_) {
    const auto name = EntryName(entry);
    if (name && EqualsIgnoringAsciiCase(*name, key)) return entry.substr(name->size() + 1);
  }
  return {};
}

bool RequestList::HasName(std::string_view key) const {
  for (const std::string& entry : entries_) {
    const auto name = EntryName(entry);
    if (name && EqualsIgnoringAsciiCase(*name, key)) return true;
  }
  return false;
}

void RequestList::SetValue(std::string_view key, std::string_view value) {
  auto found = entries_.begin();
  for (; found != entries_.end(); ++found) {
    const auto name = EntryName(*found);
    if (name && EqualsIgnoringAsciiCase(*name, key)) break;
  }
  if (value.empty()) {
    if (found != entries_.end()) entries_.erase(found);
    return;
  }
  std::string entry;
  entry.reserve(key.size() + 1 + value.size());
  entry.append(key).append(1, '=').append(value);
  if (found != entries_.end()) {
    *found = std::move(entry);
  } else {
    entries_.push_back(std::move(entry));
  }
}

namespace {

std::string BuildCommaText(const std::vector<std::string>& entries, bool mask_passwords) {
  if (entries.empty()) return {};
  if (entries.size() == 1 && entries.front().empty()) return std::string(2, kQuote);
  std::string out;
  bool first = true;
  for (const std::string& entry : entries) {
    if (!first) out += kDelimiter;
    first = false;
    const auto name = EntryName(entry);
    if (mask_passwords && name && IsPasswordKey(*name)) {
      // The name needs no quotes: it is one of the fixed password keys.
      out.append(*name).append(1, '=').append(kMask);
    } else if (NeedsQuotes(entry)) {
      AppendQuoted(out, entry);
    } else {
      out += entry;
    }
  }
  return out;
}

}  // namespace

std::string RequestList::CommaText() const {
  return BuildCommaText(entries_, false);
}

std::string RequestList::CommaTextForLog() const {
  return SafeForLog(BuildCommaText(entries_, true));
}

bool RequestList::SetCommaText(std::string_view text) {
  entries_.clear();
  // The commas plus one bound the entries of most texts (blanks also separate unquoted ones), and
  // a procedure writes a few columns back. Reserved at once, a list of a million entries never
  // grows by copying, which holds the old and the new array at once and doubles the room.
  constexpr std::size_t kRoomForResultColumns = 16;
  const std::size_t commas = static_cast<std::size_t>(std::count(text.begin(), text.end(), ','));
  entries_.reserve(commas + 1 + kRoomForResultColumns);
  CommaTextScanner scanner(text);
  while (auto entry = scanner.Next()) entries_.push_back(std::move(entry->text));
  return !scanner.Malformed();
}

std::string MaskPasswordsInCommaText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t copied = 0;  // bytes of `text` already in `out`
  CommaTextScanner scanner(text);
  while (auto entry = scanner.Next()) {
    const auto name = EntryName(entry->text);
    if (!name || !IsPasswordKey(*name)) continue;
    // A password name holds no quote, so its raw form is the decoded one, after the opening
    // quote of a quoted entry; the value runs to the closing quote or the entry's end.
    const std::size_t value_begin = entry->begin + (entry->quoted ? 1 : 0) + name->size() + 1;
    const std::size_t value_end = entry->end - (entry->quoted ? 1 : 0);
    out.append(text.substr(copied, value_begin - copied)).append(kMask);
    copied = value_end;
  }
  // What reading never took apart (the rest after a quote left open, or after a NUL byte) may
  // hold any entry: everything after its first "=" is hidden, since a password value can only
  // stand behind one.
  const std::size_t rest_begin = scanner.Position();
  const std::size_t equals = text.find('=', rest_begin);
  if (equals == std::string_view::npos) {
    out.append(text.substr(copied));
  } else {
    out.append(text.substr(copied, equals + 1 - copied)).append(kMask);
  }
  return out;
}

std::string CommandTextForLog(std::string_view text) {
  return SafeForLog(MaskPasswordsInCommaText(text));
}

}  // namespace mox
