#include "platform/utc_offset.h"

#include <ctime>

namespace mox::platform {

std::optional<int> UtcOffsetMinutes(const LocalDateTime& local) {
  std::tm parts{};
  parts.tm_year = local.year - 1900;
  parts.tm_mon = local.month - 1;
  parts.tm_mday = local.day;
  parts.tm_hour = local.hour;
  parts.tm_min = local.minute;
  parts.tm_sec = local.second;
  parts.tm_isdst = -1;  // let the time zone rules decide
  const std::time_t instant = std::mktime(&parts);
  if (instant == static_cast<std::time_t>(-1)) return std::nullopt;
  std::tm placed{};
  if (localtime_r(&instant, &placed) == nullptr) return std::nullopt;
  return static_cast<int>(placed.tm_gmtoff / 60);
}

}  // namespace mox::platform
