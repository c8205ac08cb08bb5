// mox-host --check: is this installation right? Settings file, loading, one read-only command,
// and the plug-in's log lines of that run.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

namespace mox::host {

struct CheckRequest {
  std::filesystem::path plugin;
  std::string id;  // the record ID of the read-only command (code 2)
  double timeout_seconds = 10;
  std::string timeout_text = "10";
  std::filesystem::path host_dir;  // where the plug-in's Logs folder lies: beside this program
  std::filesystem::path cwd;
};

// Prints the check to `out` and returns the exit status: kExitOk only when the command was
// answered with success.
int RunInstallationCheck(const CheckRequest& request, std::ostream& out);

}  // namespace mox::host
