// The local time zone: the Windows side.
#include <ctime>

#include "platform/clock.h"

namespace mox::platform::detail {

std::tm LocalCalendar(std::time_t t) {
  std::tm parts{};
  localtime_s(&parts, &t);
  return parts;
}

// The local parts read back as if UTC. localtime_s keeps its result in the caller's buffer, so it
// is safe from several threads.
std::optional<long> UtcOffsetSecondsAt(std::time_t instant) {
  std::tm parts{};
  if (localtime_s(&parts, &instant) != 0) return std::nullopt;
  const std::time_t as_utc = _mkgmtime(&parts);
  if (as_utc == static_cast<std::time_t>(-1)) return std::nullopt;
  return static_cast<long>(as_utc - instant);
}

}  // namespace mox::platform::detail
