// The command line of mox-host.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mox::host {

// Exit status of mox-host.
enum ExitStatus : int {
  kExitOk = 0,
  kExitCommandFailed = 1,   // a reply failed or did not come in time, or a calling rule broke
  kExitUsage = 2,           // bad options or commands: nothing was sent
  kExitPluginUnusable = 3,  // the library cannot be loaded or lacks an export
};

struct HostOptions {
  std::optional<std::string> plugin_path;
  double timeout_seconds = 10;
  std::string timeout_text = "10";
  std::optional<std::string> script_path;  // "-" for standard input
  bool interactive = false;
  bool expect_no_reply = false;
  bool show_passwords = false;
  bool help = false;
  bool check = false;  // --check: test the installation instead of commands
  std::string check_id = "mox-host-check";
  std::vector<std::string> commands;  // one command per argument
};

struct ParsedOptions {
  std::optional<HostOptions> options;
  std::string error;  // set when the arguments make no sense
};

// Reads the arguments after the program name. Options may stand anywhere; "--" ends them.
ParsedOptions ParseHostOptions(const std::vector<std::string>& args);

// The --help text.
std::string UsageText();

}  // namespace mox::host
