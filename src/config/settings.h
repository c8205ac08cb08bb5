// The settings file beside the library and the six settings it fills.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace mox {

// Settings globals: built-in defaults until the first ReadSettings. Written only by InitSettings
// (before the worker thread starts), read by the database layer afterwards.
extern std::string gDBFile;
extern std::string gDBUser;
extern std::string gDBPass;
extern std::string gDBLang;
extern int32_t gDBTime;
extern bool gProtocol;

// The most commands the queue holds; 0 (the default) for no limit. Read from the key MaxCommands
// of the section "Queue", which only a file that has it holds: WriteSettings never writes it.
extern int32_t gQueueMaxCommands;
// The same for MaxCommandBytes, the longest command text of codes 10 to 12 (and of unknown codes),
// 0 when the file has no positive value (the worker's default applies then); and for
// MaxQueueBytes, the most bytes the queued commands may take together (payloads and records),
// kDefaultMaxQueueBytes unless the file sets it (0 for no limit).
extern int32_t gQueueMaxCommandBytes;
extern int32_t gQueueMaxBytes;
// So that a host posting faster than the database answers cannot take all memory.
inline constexpr int32_t kDefaultMaxQueueBytes = 64 * 1024 * 1024;

// Full path of the settings file; empty until the first InitSettings.
extern std::string gSettingsFileName;

// Raised when the settings file cannot be written: "Unable to write to <path>".
class SettingsWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// SettingsFileName := SettingsFilePath(); ReadSettings(); WriteSettings().
// Throws SettingsWriteError.
void InitSettings();
void ReadSettings();
// Throws SettingsWriteError.
void WriteSettings();

// Puts the globals back to their built-in defaults and clears SettingsFileName (library unload).
void ResetSettings() noexcept;

}  // namespace mox
