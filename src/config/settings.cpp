#include "config/settings.h"

#include <algorithm>

#include "config/library_paths.h"
#include "config/setting_values.h"
#include "log/log_text.h"
#include "log/program_log.h"
#include "platform/file_system.h"
#include "platform/ini_file.h"
#include "platform/load_order.h"
#include "platform/text_encoding.h"

namespace mox {
namespace {

constexpr const char* kSection = "DB";
constexpr const char* kQueueSection = "Queue";

constexpr const char* kDefaultDBFile = "localhost:c:\\MoxSettings.fdb";
constexpr const char* kDefaultDBUser = "SYSDBA";
constexpr const char* kDefaultDBPass = "PLANKROSE";
constexpr const char* kDefaultDBLang = "WIN1251";
constexpr int32_t kDefaultDBTime = 1200000;  // 20 minutes
constexpr bool kDefaultProtocol = true;

int32_t ReadInteger(const platform::IniFile& ini, const char* key, int32_t current) {
  return ParseIniInteger(ini.ReadString(kSection, key, "")).value_or(current);
}

void WriteValue(platform::IniFile& ini, const char* key, const std::string& value) {
  if (!ini.WriteString(kSection, key, value)) {
    throw SettingsWriteError("Unable to write to " + platform::PathForLog(ini.path()));
  }
}

}  // namespace

std::string gDBFile = kDefaultDBFile;
std::string gDBUser = kDefaultDBUser;
std::string gDBPass = kDefaultDBPass;
std::string gDBLang = kDefaultDBLang;
int32_t gDBTime = kDefaultDBTime;
bool gProtocol = kDefaultProtocol;
int32_t gQueueMaxCommands = 0;
int32_t gQueueMaxCommandBytes = 0;
int32_t gQueueMaxBytes = kDefaultMaxQueueBytes;

MOX_INIT_BEFORE_LOAD_STEP std::string gSettingsFileName;

namespace {

// The file holds DBPass in plain text. Its mode is the host's to set, so it is only reported.
void ReportReadableByOthers() {
  if (!platform::ReadableByGroupOrOthers(gSettingsFileName)) return;
  WriteLog("InitSettings:: the settings file " +
           SafeForLog(platform::PathForLog(gSettingsFileName)) +
           " can be read by group or others, and it holds the database password");
}

}  // namespace

void InitSettings() {
  gSettingsFileName = SettingsFilePath();
  ReadSettings();
  WriteSettings();
  ReportReadableByOthers();
}

void ReadSettings() {
  const platform::IniFile ini(gSettingsFileName);
  // Each key falls back on what the global holds now, so a key missing from the file keeps the
  // value of the previous initialisation.
  gDBFile = ini.ReadString(kSection, "DBFile", gDBFile);
  gDBUser = ini.ReadString(kSection, "DBUser", gDBUser);
  gDBPass = ini.ReadString(kSection, "DBPass", gDBPass);
  gDBLang = ini.ReadString(kSection, "DBLang", gDBLang);
  gDBTime = ReadInteger(ini, "DBTime", gDBTime);
  gProtocol = ReadInteger(ini, "Protocol", gProtocol ? 1 : 0) != 0;
  SetProtocol(gProtocol);
  // Off unless this file asks for it; a negative or unreadable value leaves it off too.
  gQueueMaxCommands =
      std::max(0, ParseIniInteger(ini.ReadString(kQueueSection, "MaxCommands", "")).value_or(0));
  // Bounded unless this file asks for no bound (0); a negative or unreadable value keeps the bound.
  const int32_t max_queue_bytes =
      ParseIniInteger(ini.ReadString(kQueueSection, "MaxQueueBytes", "")).value_or(-1);
  gQueueMaxBytes = max_queue_bytes >= 0 ? max_queue_bytes : kDefaultMaxQueueBytes;
  gQueueMaxCommandBytes = std::max(
      0, ParseIniInteger(ini.ReadString(kQueueSection, "MaxCommandBytes", "")).value_or(0));
  WriteProtocol("ReadSettings:: OK");
}

void WriteSettings() {
  platform::IniFile ini(gSettingsFileName);
  WriteValue(ini, "DBFile", gDBFile);
  WriteValue(ini, "DBUser", gDBUser);
  WriteValue(ini, "DBPass", gDBPass);
  WriteValue(ini, "DBLang", gDBLang);
  WriteValue(ini, "DBTime", std::to_string(gDBTime));
  WriteValue(ini, "Protocol", gProtocol ? "1" : "0");
  WriteProtocol("WriteSettings:: OK");
}

void ResetSettings() noexcept {
  // Only the allocation of a default text can fail; cleared texts are the fallback then.
  try {
    gDBFile = kDefaultDBFile;
    gDBUser = kDefaultDBUser;
    gDBPass = kDefaultDBPass;
    gDBLang = kDefaultDBLang;
  } catch (...) {
    gDBFile.clear();
    gDBUser.clear();
    gDBPass.clear();
    gDBLang.clear();
  }
  gDBTime = kDefaultDBTime;
  gProtocol = kDefaultProtocol;
  SetProtocol(gProtocol);
  gQueueMaxCommands = 0;
  gQueueMaxCommandBytes = 0;
  gQueueMaxBytes = kDefaultMaxQueueBytes;
  gSettingsFileName.clear();
}

}  // namespace mox
