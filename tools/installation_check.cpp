#include "tools/installation_check.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include "apMoxSettingsManager.h"
#include "tools/host_options.h"
#include "tools/host_session.h"
#include "tools/plugin_log.h"
#include "tools/plugin_module.h"
#include "tools/settings_file_report.h"

namespace mox::host {

namespace {

std::optional<std::string> ReadWhole(const std::filesystem::path& file) {
  // A folder in the file's place opens, and then its reading throws.
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(file, ignored)) return std::nullopt;
  try {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void PrintLogLines(const PluginLogWatch& watch, const std::filesystem::path& cwd,
                   std::ostream& out) {
  const std::vector<std::string> lines = watch.NewLines();
  const std::string file = ShownPath(watch.CurrentFile(), cwd);
  if (lines.empty()) {
    out << "log: no lines written to " << file
        << " (is the Logs folder writable by this user, or does the host's ini file send the "
           "log to a log server?)\n";
    return;
  }
  out << "log: the plug-in wrote meanwhile (" << file << "):\n";
  for (const std::string& line : lines) out << "  " << line << '\n';
}

}  // namespace

int RunInstallationCheck(const CheckRequest& request, std::ostream& out) {
  out << "plug-in: " << request.plugin.string() << '\n';
  const std::filesystem::path settings = SettingsFileFor(request.plugin);
  out << DescribeSettingsFile(settings, ReadWhole(settings), SettingsFileAccessLine(settings));

  const PluginLogWatch watch(request.host_dir, request.plugin.filename().string());
  std::string error;
  std::optional<PluginModule> module = PluginModule::Load(request.plugin, &error);
  if (!module) {
    out << "check failed: cannot load " << request.plugin.string() << ": " << error << '\n';
    return kExitPluginUnusable;
  }
  const SessionSettings session_settings{request.timeout_seconds, request.timeout_text, false,
                                         false, [&] { return watch.LoggedNotInitialised(); }};
  bool answered_ok = false;
  {
    HostSession session(module->Api(), session_settings, out,
                        [&] { return ShownPath(watch.CurrentFile(), request.cwd); });
    session.Start();
    session.Send(HostCommand{CommandKind::kSend, "getstate", MSG_GETMODIFIEDSTATEBYID, request.id});
    session.Finish();
    answered_ok = session.Tally().AllGood() && session.Tally().ok == 1;
  }
  PrintLogLines(watch, request.cwd, out);
  out << (answered_ok ? "check passed: the plug-in answered a read-only command with success\n"
                      : "check failed: the read-only command was not answered with success; the "
                        "log lines above tell why\n");
  return answered_ok ? kExitOk : kExitCommandFailed;
}

}  // namespace mox::host
