#include "log_client/ole_date.h"

#include <chrono>
#include <cmath>

namespace mox::log_client {
namespace {

constexpr double kLastOleDate = 2958466.0;  // 1 January 10000
constexpr long long kMillisecondsPerDay = 86'400'000;

}  // namespace

std::optional<platform::LocalDateTime> FromOleAutomationDate(double ole_date) {
  using namespace std::chrono;
  if (!std::isfinite(ole_date) || ole_date <= 0.0 || ole_date >= kLastOleDate) return std::nullopt;
  const auto total_ms = static_cast<long long>(std::llround(ole_date * kMillisecondsPerDay));
  if (total_ms >= static_cast<long long>(kLastOleDate) * kMillisecondsPerDay) return std::nullopt;
  constexpr sys_days kOleEpoch = year_month_day{year{1899}, December, day{30}};
  const year_month_day date{kOleEpoch + days{total_ms / kMillisecondsPerDay}};
  long long ms_of_day = total_ms % kMillisecondsPerDay;

  platform::LocalDateTime when;
  when.year = static_cast<int>(date.year());
  when.month = static_cast<int>(static_cast<unsigned>(date.month()));
  when.day = static_cast<int>(static_cast<unsigned>(date.day()));
  when.millisecond = static_cast<int>(ms_of_day % 1000);
  ms_of_day /= 1000;
  when.second = static_cast<int>(ms_of_day % 60);
  ms_of_day /= 60;
  when.minute = static_cast<int>(ms_of_day % 60);
  when.hour = static_cast<int>(ms_of_day / 60);
  return when;
}

}  // namespace mox::log_client
