// The date and time form of the log-server interface: an OLE Automation date in local time.
#pragma once

#include <optional>

#include "platform/clock.h"

namespace mox::log_client {

// The local date and time, to the millisecond, of `ole_date` (days since 30 December 1899, the
// fraction being the time of day). nullopt for 0 and below (callers pass 0 for "no time"), for a
// value that is not finite and for one after the year 9999.
std::optional<platform::LocalDateTime> FromOleAutomationDate(double ole_date);

}  // namespace mox::log_client
