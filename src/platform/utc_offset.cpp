#include "platform/utc_offset.h"

#include <chrono>
#include <ctime>

#include "platform/system_detail.h"

namespace mox::platform {

std::optional<int> UtcOffsetMinutes(const LocalDateTime& local) {
  using namespace std::chrono;
  const sys_days day = year_month_day{year{local.year}, month{static_cast<unsigned>(local.month)},
                                      std::chrono::day{static_cast<unsigned>(local.day)}};
  // The local time read as if it were UTC; the instant it names lies one offset before that.
  const std::time_t as_if_utc =
      duration_cast<seconds>(day.time_since_epoch() + hours{local.hour} + minutes{local.minute} +
                             seconds{local.second})
          .count();
  const auto guess = detail::UtcOffsetSecondsAt(as_if_utc);
  if (!guess) return std::nullopt;
  // Near a change of the offset the guess can be the other side's; the instant it gives decides.
  const auto offset = detail::UtcOffsetSecondsAt(as_if_utc - *guess);
  if (!offset) return std::nullopt;
  return static_cast<int>(*offset / 60);
}

}  // namespace mox::platform
