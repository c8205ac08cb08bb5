#include "platform/utc_offset.h"

#include <chrono>
#include <ctime>

namespace mox::platform {
namespace {

// The offset in seconds that localtime_r gives for `instant`. Unlike mktime, localtime_r does not
// read the TZ variable again on every call, so it is safe from several threads at once.
std::optional<long> OffsetAt(std::time_t instant) {
  std::tm parts{};
  if (localtime_r(&instant, &parts) == nullptr) return std::nullopt;
  return parts.tm_gmtoff;
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
