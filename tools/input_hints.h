// Hints for the input mistakes new users make most, printed beside the error itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mox::host {

// For command arguments that did not parse: when they read as commands split at their blanks
// (mox-host getdata ABC), a hint to quote each command, with the quoted form when it parses.
std::optional<std::string> QuotingHint(const std::vector<std::string>& command_args);

// For a run with no commands while standard input is a pipe or a file.
inline constexpr const char* kPipedInputHint =
    "commands on standard input are read with --script - (or at a prompt with -i)";

}  // namespace mox::host
