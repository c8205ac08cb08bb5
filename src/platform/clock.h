// The local date and time, to the millisecond, and how far local time is from UTC.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>

namespace mox::platform {

struct LocalDateTime {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// Now, in the local time zone.
LocalDateTime NowLocal();

// The given instant in the local time zone.
LocalDateTime ToLocal(std::chrono::system_clock::time_point when);

// OLE Automation date: days since 30 December 1899, the fraction being the time of day.
double ToOleAutomationDate(const LocalDateTime& when);

// Minutes that the local time zone was ahead of UTC at `local` (negative west of Greenwich);
// nullopt when the system cannot place that time.
std::optional<int> UtcOffsetMinutes(const LocalDateTime& local);

// The system side of the shared code in clock.cpp: each system's file defines these.
namespace detail {

// `t` broken down in the local time zone.
std::tm LocalCalendar(std::time_t t);

// Seconds that local time is ahead of UTC at `instant`; nullopt when the system cannot tell.
std::optional<long> UtcOffsetSecondsAt(std::time_t instant);

}  // namespace detail

}  // namespace mox::platform
