#include "config/settings.h"

#include <algorithm>

#include "config/ini_file.h"
#include "config/setting_values.h"
#include "log/log_text.h"
#include "log/program_log.h"
#include "platform/file_system.h"

namespace mox {
namespace {

constexpr const char* kSection = "DB";
constexpr const char* kQueueSection = "Queue";

int32_t ReadInteger(const IniFile& ini, const char* key, int32_t current) {
  return ParseIniInteger(ini.ReadString(kSection, key, "")).value_or(current);
}

void WriteValue(IniFile& ini, const char* key, const std::string& value) {
  if (!ini.WriteString(kSection, key, value)) {
    throw SettingsWriteError("Unable to write to " + platform::PathForLog(ini.path()));
  }
}

// The file holds DBPass in plain text. Its mode is the host's to set, so it is only reported.
void ReportReadableByOthers(const std::string& path) {
  if (!platform::ReadableByGroupOrOthers(path)) return;
  WriteLog("InitSettings:: the settings file " + SafeForLog(platform::PathForLog(path)) +
           " can be read by group or others, and it holds the database password");
}

}  // namespace

std::string SettingsFilePath(const std::string& library_path) {
  return platform::DirectoryPart(library_path) +
         platform::ReplaceExtension(platform::FileNamePart(library_path), ".ini");
}

void InitSettings(const std::string& path, Settings& settings) {
  ReadSettings(path, settings);
  WriteSettings(path, settings);
  ReportReadableByOthers(path);
}

void ReadSettings(const std::string& path, Settings& settings) {
  const IniFile ini(path);
  // Each key falls back on the value `settings` holds, so a key missing from the file keeps the
  // value of the previous initialisation.
  settings.db_file = ini.ReadString(kSection, "DBFile", settings.db_file);
  settings.db_user = ini.ReadString(kSection, "DBUser", settings.db_user);
  settings.db_pass = ini.ReadString(kSection, "DBPass", settings.db_pass);
  settings.db_lang = ini.ReadString(kSection, "DBLang", settings.db_lang);
  settings.db_time = ReadInteger(ini, "DBTime", settings.db_time);
  settings.protocol = ReadInteger(ini, "Protocol", settings.protocol ? 1 : 0) != 0;
  SetProtocol(settings.protocol);
  // Off unless this file asks for it; a negative or unreadable value leaves it off too.
  settings.queue_max_commands =
      std::max(0, ParseIniInteger(ini.ReadString(kQueueSection, "MaxCommands", "")).value_or(0));
  // Bounded unless this file asks for no bound (0); a negative or unreadable value keeps the bound.
  const int32_t max_queue_bytes =
      ParseIniInteger(ini.ReadString(kQueueSection, "MaxQueueBytes", "")).value_or(-1);
  settings.queue_max_bytes = max_queue_bytes >= 0 ? max_queue_bytes : kDefaultMaxQueueBytes;
  settings.queue_max_command_bytes = std::max(
      0, ParseIniInteger(ini.ReadString(kQueueSection, "MaxCommandBytes", "")).value_or(0));
  WriteProtocol("ReadSettings:: OK");
}

void WriteSettings(const std::string& path, const Settings& settings) {
  IniFile ini(path);
  WriteValue(ini, "DBFile", settings.db_file);
  WriteValue(ini, "DBUser", settings.db_user);
  WriteValue(ini, "DBPass", settings.db_pass);
  WriteValue(ini, "DBLang", settings.db_lang);
  WriteValue(ini, "DBTime", std::to_string(settings.db_time));
  WriteValue(ini, "Protocol", settings.protocol ? "1" : "0");
  WriteProtocol("WriteSettings:: OK");
}

}  // namespace mox
