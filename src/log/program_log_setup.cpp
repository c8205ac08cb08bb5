#include "log/program_log_setup.h"

#include "config/ini_file.h"
#include "log/date_time_pattern.h"
#include "log/program_log.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace mox {

std::string BuildProgramLogPattern(std::string_view host_directory, std::string_view module_name) {
  const std::string separator(1, platform::PathSeparator());
  std::string pattern = QuotePatternLiteral(std::string(host_directory) + "Logs" + separator);
  pattern += "YYYY";
  pattern += QuotePatternLiteral("_");
  pattern += "MM";
  pattern += QuotePatternLiteral("_");
  pattern += "DD";
  pattern += QuotePatternLiteral(separator);
  pattern += "HH";
  std::string file_name_tail(1, '_');  // built by appending: "_" + string trips GCC 12's -Wrestrict
  file_name_tail.append(module_name).append(".log");
  pattern += QuotePatternLiteral(file_name_tail);
  return pattern;
}

std::string ReadDebugSetting() {
  const IniFile host_ini(platform::ReplaceExtension(platform::HostExecutablePath(), ".ini"));
  // The key is the library's file name as an ini file in the system's code page holds it; a name
  // that code page cannot hold can only be written in UTF-8.
  return host_ini.ReadString("Debug",
                             platform::InSystemCodePage(ModuleName()).value_or(ModuleName()), "");
}

}  // namespace mox
