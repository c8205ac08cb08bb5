#include "platform/clock.h"

#include <chrono>
#include <ctime>

namespace mox::platform {

// Local time.

LocalDateTime ToLocal(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto since_epoch = when.time_since_epoch();
  auto seconds = duration_cast<std::chrono::seconds>(since_epoch);
  auto millis = duration_cast<milliseconds>(since_epoch - seconds).count();
  if (millis < 0) {  // instants before 1970
    millis += 1000;
    seconds -= std::chrono::seconds(1);
  }
  const std::time_t t = static_cast<std::time_t>(seconds.count());
  // The conversion to local time (time zone rules, a lock inside the C library) is the dearest
  // part of a log line's time; lines come many to a second, so each thread keeps its last one.
  thread_local std::time_t cached_second = -1;
  thread_local std::tm cached_parts{};
  if (t != cached_second || cached_second == -1) {
    cached_parts = detail::LocalCalendar(t);
    cached_second = t;
  }
  const std::tm& parts = cached_parts;
  LocalDateTime result;
  result.year = parts.tm_year + 1900;
  result.month = parts.tm_mon + 1;
  result.day = parts.tm_mday;
  result.hour = parts.tm_hour;
  result.minute = parts.tm_min;
  result.second = parts.tm_sec;
  result.millisecond = static_cast<int>(millis);
  return result;
}

LocalDateTime NowLocal() {
  return ToLocal(std::chrono::system_clock::now());
}

namespace {

// The calendar day of `when`, as a count of days.
std::chrono::sys_days DayOf(const LocalDateTime& when) {
  using namespace std::chrono;
  return year_month_day{year{when.year}, month{static_cast<unsigned>(when.month)},
                        day{static_cast<unsigned>(when.day)}};
}

}  // namespace

double ToOleAutomationDate(const LocalDateTime& when) {
  using namespace std::chrono;
  const sys_days day = DayOf(when);
  constexpr sys_days kOleEpoch = year_month_day{year{1899}, December, std::chrono::day{30}};
  const double days = static_cast<double>((day - kOleEpoch).count());
  const double millis_of_day =
      ((when.hour * 60.0 + when.minute) * 60.0 + when.second) * 1000.0 + when.millisecond;
  return days + millis_of_day / 86400000.0;
}

// Offset from UTC.

std::optional<int> UtcOffsetMinutes(const LocalDateTime& local) {
  using namespace std::chrono;
  const sys_days day = DayOf(local);
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
