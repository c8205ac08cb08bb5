// Comma text, the form in which the blocking commands carry their name=value entries both ways:
// our own reader, so that the host shows exactly what a plug-in sent without sharing its code.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mox::host {

struct CommaEntry {
  std::string text;   // the entry as read: quotes removed, doubled quotes made single
  std::size_t begin;  // where the entry starts in the comma text (its opening quote, if any)
  std::size_t end;    // one past its last byte (its closing quote, if any)
};

struct CommaTextReading {
  std::vector<CommaEntry> entries;
  bool unclosed_quote = false;  // the last entry opened a double quote that never closed
  std::size_t consumed = 0;     // bytes read; less than the text's size when a NUL byte ended it
};

// Reads comma text: outside double quotes a comma, a space or a control character ends an
// entry; spaces around a comma are part of the separator; two commas in a row, a leading comma
// and a trailing comma each give an empty entry; a NUL byte ends the text. An unclosed quote
// takes the rest of the text as its entry and is reported.
CommaTextReading ReadCommaText(std::string_view text);

// The text before the first "=" of an entry; empty for an entry without "=".
std::string_view EntryName(std::string_view entry);

// True for entry names that carry a password: those containing "pwd" or "password" in any
// letter case (BlockNumberPWD, BlockNumberPWDNew).
bool IsPasswordName(std::string_view name);

// The entry with its value replaced by *** when its name carries a password.
std::string MaskedEntry(std::string_view entry);

// `text` with every password entry written as name=*** and all other bytes kept as they are.
std::string MaskPasswordsInCommaText(std::string_view text);

}  // namespace mox::host
