// The readable command forms of mox-host and their translation into plug-in payloads.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mox::host {

enum class CommandKind { kSend, kHelp, kQuit };

struct HostCommand {
  CommandKind kind = CommandKind::kSend;
  std::string verb;       // the verb as the parser knows it, in lower case ("getdata", "raw")
  std::uint8_t code = 0;  // message code: the payload's first byte
  std::string text;       // the command text: the payload after the code byte

  // Message code followed by the command text, as handed to Command_Plugin.
  std::string Payload() const;
};

struct ParsedLine {
  std::optional<HostCommand> command;  // empty for a blank line, a comment or an error
  std::string error;                   // set when the line is not a command
};

// Reads one command line. Blank lines and lines whose first non-blank character is "#" give
// neither a command nor an error. Trailing blanks (spaces, tabs, CR, LF) are ignored.
ParsedLine ParseCommandLine(std::string_view line);

struct CommandScript {
  std::vector<HostCommand> commands;
  std::vector<std::string> errors;  // "line N: ..." for each line that is not a command
};

// Whether `word` (in any letter case) begins a command line: getdata, raw, help and so on.
bool IsCommandVerb(std::string_view word);

// Reads a script: one command per line, comments and blank lines skipped.
CommandScript ReadCommandScript(std::istream& in);

// The command forms, a few lines for `help` at the prompt and for --help.
std::string_view CommandFormsText();

}  // namespace mox::host
