#include "tools/reply_formatter.h"

#include "apMoxSettingsManager.h"
#include "tools/comma_text.h"
#include "tools/text_concat.h"
#include "tools/text_escape.h"

namespace mox::host {

namespace {

constexpr std::string_view kIndent = "    ";

std::string TagMark(std::int32_t tag, std::string_view mark) {
  return Concat({"#", std::to_string(tag), " ", mark, " "});
}

std::string DetailLine(std::string_view label, std::string_view value) {
  return Concat({kIndent, label, ": ", value, "\n"});
}

std::string CodeLabel(std::uint8_t code) {
  const std::string_view name = MessageCodeName(code);
  return Concat({"code ", std::to_string(code), " ", name.empty() ? "(unknown)" : name});
}

bool IsBlockingCode(std::uint8_t code) {
  return code == MSG_BLOCKINGS_GETDATA || code == MSG_BLOCKINGS_SETPWD ||
         code == MSG_BLOCKINGS_SETLINK;
}

std::string MaybeMasked(std::string_view comma_text, bool show_passwords) {
  return show_passwords ? std::string(comma_text) : MaskPasswordsInCommaText(comma_text);
}

// Detail lines of a successful blocking reply; malformed when the comma text cannot be read whole.
ReplyOutcome AppendEntries(std::string_view comma_text, bool show_passwords, std::string& head,
                           std::string& details) {
  const CommaTextReading reading = ReadCommaText(comma_text);
  const std::size_t count = reading.entries.size();
  head += Concat({", ", std::to_string(count), count == 1 ? " entry" : " entries"});
  for (const CommaEntry& entry : reading.entries) {
    details += kIndent;
    details += EscapeBytes(show_passwords ? entry.text : MaskedEntry(entry.text));
    details += '\n';
  }
  if (reading.unclosed_quote) {
    head += "; malformed: a double quote is never closed";
    return ReplyOutcome::kMalformed;
  }
  if (reading.consumed < comma_text.size()) {
    head += "; malformed: a NUL byte ends the comma text early";
    details += DetailLine("text", QuotedBytes(MaybeMasked(comma_text, show_passwords)));
    return ReplyOutcome::kMalformed;
  }
  return ReplyOutcome::kOk;
}

}  // namespace

std::string_view MessageCodeName(std::uint8_t code) {
  switch (code) {
    case MSG_GETDATABYID:
      return "MSG_GETDATABYID";
    case MSG_GETMODIFIEDSTATEBYID:
      return "MSG_GETMODIFIEDSTATEBYID";
    case MSG_SETMODIFIEDSTATEBYID:
      return "MSG_SETMODIFIEDSTATEBYID";
    case MSG_BLOCKINGS_GETDATA:
      return "MSG_BLOCKINGS_GETDATA";
    case MSG_BLOCKINGS_SETPWD:
      return "MSG_BLOCKINGS_SETPWD";
    case MSG_BLOCKINGS_SETLINK:
      return "MSG_BLOCKINGS_SETLINK";
    default:
      return {};
  }
}

bool IsKnownCode(std::uint8_t code) {
  return !MessageCodeName(code).empty();
}

std::string FormatCommand(std::int32_t tag, const HostCommand& command, bool show_passwords) {
  std::string line = TagMark(tag, ">") + command.verb;
  const std::string_view text = command.text;
  if (command.verb == "raw") {
    line += Concat({" ", std::to_string(command.code)});
    const std::string shown =
        IsBlockingCode(command.code) ? MaybeMasked(text, show_passwords) : std::string(text);
    if (!shown.empty()) line += Concat({" ", EscapeBytes(shown)});
  } else if (command.code == MSG_SETMODIFIEDSTATEBYID && !text.empty()) {
    const auto state = static_cast<unsigned char>(text[0]);
    line += Concat({" ", EscapeBytes(text.substr(1)), " ", std::to_string(state)});
  } else if (IsBlockingCode(command.code)) {
    if (!text.empty()) line += Concat({" ", EscapeBytes(MaybeMasked(text, show_passwords))});
  } else {
    line += Concat({" ", EscapeBytes(text)});
  }
  return line + '\n';
}

FormattedReply FormatReply(std::int32_t tag, std::uint8_t sent_code, std::string_view reply,
                           bool show_passwords, std::string_view log_file) {
  const std::string prefix = TagMark(tag, "<");
  if (reply.empty()) return {ReplyOutcome::kMalformed, prefix + "malformed: an empty reply\n"};

  const auto code = static_cast<std::uint8_t>(reply[0]);
  std::string head = Concat({prefix, CodeLabel(code), ": "});
  const std::string_view body = reply.substr(1);
  auto malformed = [&](std::string_view why) {
    return FormattedReply{ReplyOutcome::kMalformed, Concat({head, "malformed: ", why, "\n"}) +
                                                        DetailLine("bytes", QuotedBytes(reply))};
  };

  if (code != sent_code) return malformed(Concat({"the command sent was ", CodeLabel(sent_code)}));
  if (body.empty()) {
    const std::string where = log_file.empty() ? "" : Concat({", see ", log_file});
    return {ReplyOutcome::kFailed, Concat({head, "failed", where, "\n"})};
  }

  std::string details;
  ReplyOutcome outcome = ReplyOutcome::kOk;
  switch (code) {
    case MSG_GETDATABYID:
    case MSG_GETMODIFIEDSTATEBYID:
    case MSG_SETMODIFIEDSTATEBYID: {
      const auto state = static_cast<unsigned char>(body[0]);
      if (state > 1)
        return malformed(Concat({"state byte ", std::to_string(state), ", not 0 or 1"}));
      if (code != MSG_GETDATABYID && body.size() != 1)
        return malformed(Concat({std::to_string(reply.size()), " bytes instead of 2"}));
      head += Concat({"ok, state ", std::to_string(state)});
      if (code == MSG_GETDATABYID) details = DetailLine("text", QuotedBytes(body.substr(1)));
      break;
    }
    case MSG_BLOCKINGS_GETDATA:
    case MSG_BLOCKINGS_SETPWD:
    case MSG_BLOCKINGS_SETLINK:
      head += "ok";
      outcome = AppendEntries(body, show_passwords, head, details);
      break;
    default:
      head += "answered";
      details = DetailLine("data", QuotedBytes(body));
      break;
  }
  return {outcome, Concat({head, "\n", details})};
}

std::string FormatMissingReply(std::int32_t tag, std::uint8_t sent_code,
                               std::string_view timeout_text, bool expected,
                               std::string_view log_file) {
  std::string hint;
  if (expected)
    hint = ", as expected";
  else if (!IsKnownCode(sent_code))
    hint = "; the plug-in answers no unknown code (--expect-no-reply allows for that)";
  else if (!log_file.empty())
    hint = Concat({"; the plug-in may not be initialised, see ", log_file});
  return Concat({TagMark(tag, "-"), CodeLabel(sent_code), ": no reply within ", timeout_text, " s",
                 hint, "\n"});
}

std::string FormatNotInitialised(std::int32_t tag, std::uint8_t sent_code,
                                 std::string_view log_file) {
  return Concat({TagMark(tag, "-"), CodeLabel(sent_code),
                 ": no reply: the plug-in logged that it is not initialised",
                 log_file.empty() ? std::string() : Concat({", see ", log_file}), "\n"});
}

std::string FormatAnomaly(std::int32_t tag, std::string_view what) {
  return Concat({tag == 0 ? std::string("! ") : TagMark(tag, "!"), what, "\n"});
}

std::string FormatLateReplyNote(std::int32_t tag) {
  return Concat({"#", std::to_string(tag), " (late) the reply below came after its time-out\n"});
}

std::string FormatSummary(const SessionTally& tally) {
  std::string line =
      Concat({"done: ", std::to_string(tally.sent), tally.sent == 1 ? " command, " : " commands, ",
              std::to_string(tally.ok), " ok, ", std::to_string(tally.failed), " failed, ",
              std::to_string(tally.missing), " without reply"});
  if (tally.missing_as_expected > 0)
    line += Concat({", ", std::to_string(tally.missing_as_expected), " without reply as expected"});
  if (tally.anomalies > 0)
    line += Concat({", ", std::to_string(tally.anomalies),
                    tally.anomalies == 1 ? " other problem" : " other problems"});
  return line + '\n';
}

}  // namespace mox::host
