// The comma-text reader and writer of the request list.
//
// The input is read as comma text (any bytes: reading never fails hard), and the entries read must
// come back unchanged through the writer. Split at its NUL bytes, the same input is also a list of
// entries for the writer, which must read back as exactly those entries. The log form must hide
// every password value, escape the control bytes and leave everything else as it is.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/request_list.h"
#include "fuzz_check.h"
#include "log/log_text.h"

namespace {

using mox::RequestList;
using mox::fuzz::Check;

RequestList ListOf(const std::vector<std::string>& entries) {
  RequestList list;
  for (const std::string& entry : entries) list.Add(entry);
  return list;
}

// An entry as a log line shows it: a password entry with its value hidden.
std::string Masked(const std::string& entry) {
  const std::size_t equals = entry.find('=');
  if (equals == std::string::npos || !mox::IsPasswordKey(entry.substr(0, equals))) return entry;
  return entry.substr(0, equals) + "=***";
}

void CheckRoundTrip(const std::vector<std::string>& entries) {
  const RequestList list = ListOf(entries);
  RequestList back;
  Check(back.SetCommaText(list.CommaText()), "the writer's comma text reads back without fault");
  Check(back.Entries() == entries, "the writer's comma text reads back as the same entries");

  // The log form is the comma text of the masked entries with its control bytes escaped.
  std::vector<std::string> masked;
  for (const std::string& entry : entries) masked.push_back(Masked(entry));
  const std::string masked_text = ListOf(masked).CommaText();
  RequestList logged;
  Check(logged.SetCommaText(masked_text), "the masked comma text reads back without fault");
  Check(logged.Entries() == masked, "the log form hides exactly the password values");
  Check(list.CommaTextForLog() == mox::SafeForLog(masked_text),
        "the log form is the masked comma text made safe for a log line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // The input as comma text.
  RequestList read;
  const bool well_formed = read.SetCommaText(input);
  for (const std::string& entry : read.Entries()) {
    Check(entry.find('\0') == std::string::npos, "reading stops at a NUL byte");
  }
  CheckRoundTrip(read.Entries());

  // The host's text as a log line shows it: a well-formed text without NUL bytes reads back as the
  // same entries with the password values hidden.
  const std::string masked_text = mox::MaskPasswordsInCommaText(input);
  if (well_formed && input.find('\0') == std::string_view::npos) {
    RequestList masked;
    Check(masked.SetCommaText(masked_text), "a masked well-formed text stays well-formed");
    Check(masked.Count() == read.Count(), "masking keeps the number of entries");
    for (std::size_t i = 0; i < read.Count(); ++i) {
      Check(masked.Entries()[i] == Masked(read.Entries()[i]),
            "masking hides exactly the password values");
    }
  }

  // The input as entries split at NUL bytes.
  std::vector<std::string> entries;
  std::size_t begin = 0;
  while (size > 0) {
    const std::size_t nul = input.find('\0', begin);
    entries.emplace_back(input.substr(begin, nul - begin));
    if (nul == std::string_view::npos) break;
    begin = nul + 1;
  }
  CheckRoundTrip(entries);
  return 0;
}
