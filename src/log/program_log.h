// The program log: the one log of the library, and WriteLog, the function every other part of the
// plug-in writes its lines through.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "log/log_names.h"

namespace mox {

class UniLog;

// The program log, or none: logging is then off. Written only while the library loads and unloads,
// when no other call runs in it, and read without a lock.
extern std::unique_ptr<UniLog> gUniLog;

// Writes one line to the program log (log server first when one is configured, else the hourly
// file). False when there is no program log or the write raised an error; never throws.
bool WriteLog(std::string_view text) noexcept;

// Creates the program log once, at library load; any failure leaves logging off, silently.
void CreateUniLog() noexcept;

// Destroys the program log at library unload, ignoring errors.
void FreeUniLog() noexcept;

}  // namespace mox
