// The local date and time, to the millisecond.
#pragma once

#include <chrono>
#include <cstdint>

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

}  // namespace mox::platform
