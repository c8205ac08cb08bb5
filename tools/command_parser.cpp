#include "tools/command_parser.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "apMoxSettingsManager.h"
#include "tools/comma_text.h"
#include "tools/text_concat.h"
#include "tools/text_escape.h"

namespace mox::host {

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}
bool IsTrailingBlank(char c) {
  return IsSpace(c) || c == '\r' || c == '\n';
}

std::string_view TrimmedLine(std::string_view line) {
  while (!line.empty() && IsTrailingBlank(line.back())) line.remove_suffix(1);
  while (!line.empty() && IsSpace(line.front())) line.remove_prefix(1);
  return line;
}

// Splits off the first word; `rest` keeps everything after the blanks that follow it.
std::string_view TakeWord(std::string_view& rest) {
  std::size_t end = 0;
  while (end < rest.size() && !IsSpace(rest[end])) ++end;
  const std::string_view word = rest.substr(0, end);
  while (end < rest.size() && IsSpace(rest[end])) ++end;
  rest.remove_prefix(end);
  return word;
}

std::string Lowercase(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// A number from 0 to 255, decimal or with a 0x prefix.
std::optional<std::uint8_t> ParseByte(std::string_view word) {
  int base = 10;
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    word.remove_prefix(2);
    base = 16;
  }
  unsigned value = 0;
  const auto [end, status] = std::from_chars(word.data(), word.data() + word.size(), value, base);
  if (word.empty() || status != std::errc() || end != word.data() + word.size() || value > 255)
    return std::nullopt;
  return static_cast<std::uint8_t>(value);
}

ParsedLine Error(std::string message) {
  return {std::nullopt, std::move(message)};
}

ParsedLine Send(std::string verb, std::uint8_t code, std::string text) {
  return {HostCommand{CommandKind::kSend, std::move(verb), code, std::move(text)}, {}};
}

struct BlockingVerb {
  std::string_view verb;
  std::uint8_t code;
};
constexpr BlockingVerb kBlockingVerbs[] = {
    {"blockings-getdata", MSG_BLOCKINGS_GETDATA},
    {"blockings-setpwd", MSG_BLOCKINGS_SETPWD},
    {"blockings-setlink", MSG_BLOCKINGS_SETLINK},
};

}  // namespace

std::string HostCommand::Payload() const {
  std::string payload(1, static_cast<char>(code));
  payload += text;
  return payload;
}

ParsedLine ParseCommandLine(std::string_view line) {
  std::string_view rest = TrimmedLine(line);
  if (rest.empty() || rest.front() == '#') return {};
  const std::string verb = Lowercase(TakeWord(rest));

  if (verb == "help" || verb == "quit" || verb == "exit") {
    if (!rest.empty()) return Error(verb + " takes no arguments");
    return {HostCommand{verb == "help" ? CommandKind::kHelp : CommandKind::kQuit, verb, 0, {}}, {}};
  }

  if (verb == "getdata" || verb == "getstate") {
    const std::string_view id = TakeWord(rest);
    if (id.empty() || !rest.empty()) return Error(verb + " needs one ID: " + verb + " ID");
    return Send(verb, verb == "getdata" ? MSG_GETDATABYID : MSG_GETMODIFIEDSTATEBYID,
                std::string(id));
  }

  if (verb == "setstate") {
    const std::string_view id = TakeWord(rest);
    const std::string_view state_word = TakeWord(rest);
    if (id.empty() || state_word.empty() || !rest.empty())
      return Error("setstate needs an ID and a state: setstate ID STATE");
    const auto state = ParseByte(state_word);
    if (!state) return Error("setstate: STATE must be a number from 0 to 255");
    std::string text(1, static_cast<char>(*state));
    text += id;
    return Send(verb, MSG_SETMODIFIEDSTATEBYID, std::move(text));
  }

  for (const BlockingVerb& blocking : kBlockingVerbs) {
    if (verb != blocking.verb) continue;
    const CommaTextReading reading = ReadCommaText(rest);
    if (reading.unclosed_quote)
      return Error(verb + ": LIST has a double quote that is never closed");
    // The plug-in would split such an entry at its blanks and keep the quotes: surely a typo.
    for (const CommaEntry& entry : reading.entries) {
      if (entry.text.find('"') != std::string::npos && rest[entry.begin] != '"')
        return Error(verb +
                     ": put the whole entry in double quotes, as in \"OfficeID=Main office\"" +
                     " (inner double quotes doubled), not " + entry.text);
    }
    return Send(verb, blocking.code, std::string(rest));
  }

  if (verb == "raw") {
    const std::string_view code_word = TakeWord(rest);
    const auto code = ParseByte(code_word);
    if (!code) return Error("raw needs a code from 0 to 255: raw CODE [TEXT]");
    std::string escape_error;
    auto text = UnescapeText(rest, &escape_error);
    if (!text) return Error("raw: " + escape_error);
    return Send(verb, *code, std::move(*text));
  }

  return Error("unknown command \"" + verb + "\" (try help)");
}

bool IsCommandVerb(std::string_view word) {
  const std::string verb = Lowercase(word);
  for (const BlockingVerb& blocking : kBlockingVerbs)
    if (verb == blocking.verb) return true;
  for (std::string_view other : {"getdata", "getstate", "setstate", "raw", "help", "quit", "exit"})
    if (verb == other) return true;
  return false;
}

CommandScript ReadCommandScript(std::istream& in) {
  CommandScript script;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    ParsedLine parsed = ParseCommandLine(line);
    if (!parsed.error.empty())
      script.errors.push_back(Concat({"line ", std::to_string(number), ": ", parsed.error}));
    else if (parsed.command)
      script.commands.push_back(std::move(*parsed.command));
  }
  return script;
}

std::string_view CommandFormsText() {
  return R"(Commands:
  getdata ID               read a record's data (code 1)
  getstate ID              read a record's modified state (code 2)
  setstate ID STATE        set a record's modified state, STATE 0..255 (code 3)
  blockings-getdata LIST   read a blocking (code 10)
  blockings-setpwd LIST    set a block number's password (code 11)
  blockings-setlink LIST   set a blocking's link (code 12)
  raw CODE [TEXT]          send any code 0..255 (or 0x00..0xff) with any text
  help                     show this list (at the prompt)
  quit                     stop reading commands
ID is one word. LIST is comma text, sent as typed: name=value entries separated by
commas. An entry holding a space, comma or double quote goes in double quotes as a
whole, inner double quotes doubled: "OfficeID=Main office". TEXT of raw takes the
escapes \xHH, \0, \t, \n, \r, \s (space), \\ and \"; blanks around TEXT are
dropped, so write \s there.
)";
}

}  // namespace mox::host
