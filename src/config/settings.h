// The settings file beside the library and the six settings it fills.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace mox {

// Settings globals: built-in defaults until the first ReadSettings. Written only by InitSettings
// (before the worker thread starts), read by the database layer afterwards.
extern std::string DBFile;
extern std::string DBUser;
extern std::string DBPass;
extern std::string DBLang;
extern int32_t DBTime;
extern bool Protocol;

// Full path of the settings file; empty until the first InitSettings.
extern std::string SettingsFileName;

// Raised when the settings file cannot be written: "Unable to write to <path>".
class SettingsWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// SettingsFileName := GetSettingsFileName(); ReadSettings(); WriteSettings().
// Throws SettingsWriteError.
void InitSettings();
void ReadSettings();
// Throws SettingsWriteError.
void WriteSettings();

// Puts the globals back to their built-in defaults and clears SettingsFileName (library unload).
void ResetSettings() noexcept;

}  // namespace mox
