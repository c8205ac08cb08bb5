#include "tools/input_hints.h"

#include "tools/command_parser.h"
#include "tools/text_concat.h"

namespace mox::host {

namespace {

std::string FirstWord(const std::string& text) {
  const std::size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  return text.substr(begin, text.find_first_of(" \t", begin) - begin);
}

std::string ShellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::optional<std::string> QuotingHint(const std::vector<std::string>& command_args) {
  // Each argument that starts with a verb begins a command; the others belong to the one before.
  std::vector<std::string> joined;
  for (const std::string& arg : command_args) {
    if (IsCommandVerb(FirstWord(arg)) || joined.empty())
      joined.push_back(arg);
    else
      joined.back() += ' ' + arg;
  }
  if (joined.size() == command_args.size()) return std::nullopt;

  std::string quoted = "mox-host";
  for (const std::string& command : joined) {
    if (!ParseCommandLine(command).error.empty())
      return "each command is one argument: quote it whole, as in mox-host 'getdata ABC'";
    quoted += ' ' + ShellQuoted(command);
  }
  return Concat({"each command is one argument: quote it whole, as in ", quoted});
}

}  // namespace mox::host
