#include <chrono>
#include <ctime>

#include "platform/utc_offset.h"

namespace mox::platform {
namespace {

// The offset in seconds of local time at `instant`: its local parts read back as if UTC.
// localtime_s keeps its result in the caller's buffer, so it is safe from several threads.
std::optional<long> OffsetAt(std::time_t instant) {
  std::tm parts{};
  if (localtime_s(&parts, &instant) != 0) return std::nullopt;
  const std::time_t as_utc = _mkgmtime(&parts);
  if (as_utc == static_cast<std::time_t>(-1)) return std::nullopt;
  return static_cast<long>(as_utc - instant);
}

}  // namespace

std::optional<int> UtcOffsetMinutes(const LocalDateTime& local) {
  using namespace std::chrono;
  const sys_days day = year_month_day{year{local.year}, month{static_cast<unsigned>(local.month)},
                                      std::chrono::day{static_cast<unsigned>(local.day)}};
  // The local time read as if it were UTC; the instant it names lies one offset before that.
  const std::time_t as_if_utc =
      duration_cast<seconds>(day.time_since_epoch() + hours{local.hour} + minutes{local.minute} +
                             seconds{local.second})
          .count();
  const auto guess = OffsetAt(as_if_utc);
  if (!guess) return std::nullopt;
  // Near a change of the offset the guess can be the other side's; the instant it gives decides.
  const auto offset = OffsetAt(as_if_utc - *guess);
  if (!offset) return std::nullopt;
  return static_cast<int>(*offset / 60);
}

}  // namespace mox::platform
