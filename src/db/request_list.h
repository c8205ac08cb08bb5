// The request list: name=value entries that the blocking commands carry both ways as comma text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mox {

// Ordered, unsorted, duplicates allowed. An entry's name is the text before its first "="; an
// entry without "=" has no name and never matches a key. Names match without regard to ASCII
// letter case; of several entries with one name the first counts.
class RequestList {
 public:
  const std::vector<std::string>& Entries() const { return entries_; }
  std::size_t Count() const { return entries_.size(); }
  void Add(std::string entry) { entries_.push_back(std::move(entry)); }

  // The value of the first entry named `key`, or empty text.
  std::string Value(std::string_view key) const;
  // True when some entry is named `key` (whatever its value).
  bool HasName(std::string_view key) const;
  // Replaces the first entry named `key` by key=value (the key in the caller's letter case), or
  // appends it. An empty value deletes the first entry named `key` instead.
  void SetValue(std::string_view key, std::string_view value);

  // The comma text of the list.
  std::string CommaText() const;
  // The comma text with the value of every password entry (BlockNumberPWD, BlockNumberPWDNew, any
  // letter case) written as *** and control bytes escaped (SafeForLog): the form every log line
  // uses.
  std::string CommaTextForLog() const;

  // Empties the list and reads `text` into it. False when the text is malformed (a quoted entry
  // without its closing double quote); the list then holds what was read before the fault.
  bool SetCommaText(std::string_view text);

 private:
  std::vector<std::string> entries_;
};

// `text` with the value of every password entry replaced by ***, all other bytes kept as they
// are. Used for log lines that show a command text as the host sent it.
std::string MaskPasswordsInCommaText(std::string_view text);

// A command text as every log line shows it, whatever its message code: passwords masked as by
// MaskPasswordsInCommaText (a host may send comma text under a wrong or newer code), control bytes
// escaped (SafeForLog).
std::string CommandTextForLog(std::string_view text);

// True for the entry names whose values never reach a log line.
bool IsPasswordKey(std::string_view name);

}  // namespace mox
