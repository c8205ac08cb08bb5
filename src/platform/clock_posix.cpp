// The local time zone: the POSIX side.
#include <ctime>

#include "platform/clock.h"

namespace mox::platform::detail {

std::tm LocalCalendar(std::time_t t) {
  std::tm parts{};
  localtime_r(&t, &parts);
  return parts;
}

// Unlike mktime, localtime_r does not read the TZ variable again on every call, so it is safe from
// several threads at once.
std::optional<long> UtcOffsetSecondsAt(std::time_t instant) {
  std::tm parts{};
  if (localtime_r(&instant, &parts) == nullptr) return std::nullopt;
  return parts.tm_gmtoff;
}

}  // namespace mox::platform::detail
