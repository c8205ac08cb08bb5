#include "config/settings.h"

#include <algorithm>

#include "config/library_paths.h"
#include "config/setting_values.h"
#include "config/write_protocol.h"
#include "platform/ini_file.h"
#include "platform/load_order.h"

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
    throw SettingsWriteError("Unable to write to " + ini.path());
  }
}

}  // namespace

std::string DBFile = kDefaultDBFile;
std::string DBUser = kDefaultDBUser;
std::string DBPass = kDefaultDBPass;
std::string DBLang = kDefaultDBLang;
int32_t DBTime = kDefaultDBTime;
bool Protocol = kDefaultProtocol;
int32_t QueueMaxCommands = 0;

MOX_INIT_BEFORE_LOAD_STEP std::string SettingsFileName;

void InitSettings() {
  SettingsFileName = GetSettingsFileName();
  ReadSettings();
  WriteSettings();
}

void ReadSettings() {
  const platform::IniFile ini(SettingsFileName);
  // Each key falls back on what the global holds now, so a key missing from the file keeps the
  // value of the previous initialisation.
  DBFile = ini.ReadString(kSection, "DBFile", DBFile);
  DBUser = ini.ReadString(kSection, "DBUser", DBUser);
  DBPass = ini.ReadString(kSection, "DBPass", DBPass);
  DBLang = ini.ReadString(kSection, "DBLang", DBLang);
  DBTime = ReadInteger(ini, "DBTime", DBTime);
  Protocol = ReadInteger(ini, "Protocol", Protocol ? 1 : 0) != 0;
  // Off unless this file asks for it; a negative or unreadable value leaves it off too.
  QueueMaxCommands =
      std::max(0, ParseIniInteger(ini.ReadString(kQueueSection, "MaxCommands", "")).value_or(0));
  WriteProtocol("ReadSettings:: OK");
}

void WriteSettings() {
  platform::IniFile ini(SettingsFileName);
  WriteValue(ini, "DBFile", DBFile);
  WriteValue(ini, "DBUser", DBUser);
  WriteValue(ini, "DBPass", DBPass);
  WriteValue(ini, "DBLang", DBLang);
  WriteValue(ini, "DBTime", std::to_string(DBTime));
  WriteValue(ini, "Protocol", Protocol ? "1" : "0");
  WriteProtocol("WriteSettings:: OK");
}

void ResetSettings() noexcept {
  // Only the allocation of a default text can fail; cleared texts are the fallback then.
  try {
    DBFile = kDefaultDBFile;
    DBUser = kDefaultDBUser;
    DBPass = kDefaultDBPass;
    DBLang = kDefaultDBLang;
  } catch (...) {
    DBFile.clear();
    DBUser.clear();
    DBPass.clear();
    DBLang.clear();
  }
  DBTime = kDefaultDBTime;
  Protocol = kDefaultProtocol;
  QueueMaxCommands = 0;
  SettingsFileName.clear();
}

}  // namespace mox
