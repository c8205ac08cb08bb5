// How far local time is from UTC at a given local time.
#pragma once

#include <optional>

#include "platform/local_time.h"

namespace mox::platform {

// Minutes that the local time zone was ahead of UTC at `local` (negative west of Greenwich);
// nullopt when the system cannot place that time.
std::optional<int> UtcOffsetMinutes(const LocalDateTime& local);

}  // namespace mox::platform
