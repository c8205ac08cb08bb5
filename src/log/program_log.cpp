#include "log/program_log.h"

#include "log/program_log_setup.h"
#include "log/uni_log.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace mox {

constinit std::unique_ptr<UniLog> gUniLog;

void CreateUniLog() noexcept {
  if (gUniLog) return;
  try {
    const std::string host_path = platform::HostExecutablePath();
    SetLogNames(platform::FileNamePart(host_path),
                platform::FileNamePart(platform::ThisModulePath()));
    // Without the host's path the log files and the host's ini file would be looked for relative
    // to whatever the current directory happens to be.
    if (ModuleName().empty() || host_path.empty()) return;
    // The host's folder is the operator's choice and may be reached through links; Logs/ and what
    // is below it are not.
    const std::string host_folder = platform::DirectoryPart(host_path);
    const std::string pattern = BuildProgramLogPattern(host_folder, ModuleName());
    const std::string client_params = ReadDebugSetting();
    gUniLog = std::make_unique<UniLog>(pattern, host_folder, client_params);
  } catch (...) {
    gUniLog.reset();
  }
}

void FreeUniLog() noexcept {
  // The log's destructor cannot throw, so nothing is left to catch here.
  gUniLog.reset();
}

bool WriteLog(std::string_view text) noexcept {
  if (!gUniLog) return false;
  try {
    gUniLog->Write(text);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace mox
