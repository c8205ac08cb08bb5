// The settings file beside the library and what it holds.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace mox {

// So that a host posting faster than the database answers cannot take all memory.
inline constexpr int32_t kDefaultMaxQueueBytes = 64 * 1024 * 1024;

// What one initialisation read from the settings file, with the built-in defaults for what the
// file lacks. The worker owns it and hands the database, the queue and the detail log their parts.
struct Settings {
  // Section "DB", all of it written back by WriteSettings.
  std::string db_file = "localhost:c:\\MoxSettings.fdb";
  std::string db_user = "SYSDBA";
  std::string db_pass = "PLANKROSE";
  std::string db_lang = "WIN1251";
  int32_t db_time = 1200000;  // 20 minutes
  bool protocol = true;

  // Section "Queue", read only from a file that has it and never written. The most commands the
  // queue holds (0: no limit); the longest command text of codes 10 to 12 and of unknown codes
  // (0 when the file has no positive value: the worker's default applies); the most bytes the
  // queued commands may take together, payloads and records (0: no limit).
  int32_t queue_max_commands = 0;
  int32_t queue_max_command_bytes = 0;
  int32_t queue_max_bytes = kDefaultMaxQueueBytes;
};

// Raised when the settings file cannot be written: "Unable to write to <path>".
class SettingsWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the file at `path` into `settings`, writes section "DB" back (adding the keys it lacks)
// and reports a file others may read. A key of section "DB" that the file lacks or holds no
// readable value for keeps its value in `settings`; the keys of section "Queue" come from the file
// alone. Sets the detail log's switch as soon as Protocol is read. Throws SettingsWriteError, with
// what was read already in `settings`.
void InitSettings(const std::string& path, Settings& settings);
// Where the settings file of the library at `library_path` lies: beside it, named like it with the
// extension ".ini". An unknown (empty) library path gives just ".ini", looked for in the current
// directory.
std::string SettingsFilePath(const std::string& library_path);
void ReadSettings(const std::string& path, Settings& settings);
// Throws SettingsWriteError.
void WriteSettings(const std::string& path, const Settings& settings);

}  // namespace mox
