// WriteProtocol: the detail log, written only while the setting Protocol is on.
#pragma once

#include <memory>
#include <mutex>
#include <string_view>

namespace mox {

// Serialises WriteProtocol; exists from CreateSettingsUnit to FreeSettingsUnit.
extern std::unique_ptr<std::mutex> gProtocolLock;

// Creates gProtocolLock and the shared line list (library load) and frees them (library unload).
void CreateSettingsUnit();
void FreeSettingsUnit() noexcept;

// The setting Protocol: on until the settings file turns it off.
void SetProtocol(bool on) noexcept;
// True while the setting Protocol is on: a caller can skip making a text that would go nowhere.
bool ProtocolOn() noexcept;

// Hands `text` to WriteLog when Protocol is on; a text of several lines becomes one line with the
// two characters \n between them. Never throws.
void WriteProtocol(std::string_view text) noexcept;

}  // namespace mox
