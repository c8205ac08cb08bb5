// The printout of mox-host: one stable, readable block per command sent and per reply.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/command_parser.h"

namespace mox::host {

// MSG_GETDATABYID and so on; empty for a code that selects no command.
std::string_view MessageCodeName(std::uint8_t code);
bool IsKnownCode(std::uint8_t code);

// "#7 > getdata 42": the command as the plug-in will read it, password values masked unless
// `show_passwords`.
std::string FormatCommand(std::int32_t tag, const HostCommand& command, bool show_passwords);

enum class ReplyOutcome {
  kOk,
  kFailed,     // the code byte alone
  kMalformed,  // not what the wire format allows for the command sent
};

struct FormattedReply {
  ReplyOutcome outcome = ReplyOutcome::kMalformed;
  std::string text;  // lines, each ending in "\n"
};

// Decodes the reply to a command of `sent_code`: "#7 < code 1 MSG_GETDATABYID: ok, state 1" and
// detail lines (the text of code 1, the entries of codes 10 to 12) below it. A failure names
// `log_file`, where the plug-in wrote its cause, when that is given.
FormattedReply FormatReply(std::int32_t tag, std::uint8_t sent_code, std::string_view reply,
                           bool show_passwords, std::string_view log_file = {});

// The line for a command whose reply did not come within the time-out. An unexpected one names
// `log_file` when given: a plug-in whose Init_Plugin failed logs that and answers nothing.
std::string FormatMissingReply(std::int32_t tag, std::uint8_t sent_code,
                               std::string_view timeout_text, bool expected,
                               std::string_view log_file = {});
// The line of a command that stops waiting because the plug-in logged that it is not initialised.
std::string FormatNotInitialised(std::int32_t tag, std::uint8_t sent_code,
                                 std::string_view log_file);

// "#7 ! <what>": a breach of the calling rules; tag 0 for one that belongs to no command.
std::string FormatAnomaly(std::int32_t tag, std::string_view what);

// The line for a reply that came after its time-out had passed.
std::string FormatLateReplyNote(std::int32_t tag);

struct SessionTally {
  int sent = 0;
  int ok = 0;
  int failed = 0;   // failed or malformed replies, replies with a breach, replies nobody expected
  int missing = 0;  // no reply in time although one was due
  int missing_as_expected = 0;
  int anomalies = 0;  // breaches outside the awaited replies: a second reply, an unknown tag...

  bool AllGood() const { return failed == 0 && missing == 0 && anomalies == 0; }
};

// "done: 4 commands, 2 ok, 1 failed, 1 without reply", then the counts that are not zero of
// replies missing as expected and of other problems.
std::string FormatSummary(const SessionTally& tally);

}  // namespace mox::host
