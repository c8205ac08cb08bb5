#include "db/idle_timer.h"

namespace mox {

void IdleTimer::SetPeriod(int32_t period_ms, int64_t now_ms) {
  if (period_ms <= 0) {
    period_ms_ = 0;
    return;
  }
  if (period_ms == period_ms_) return;
  period_ms_ = period_ms;
  next_due_ms_ = now_ms + period_ms;
}

bool IdleTimer::TakeDueTick(int64_t now_ms) {
  if (period_ms_ <= 0 || now_ms < next_due_ms_) return false;
  const int64_t missed = (now_ms - next_due_ms_) / period_ms_;
  next_due_ms_ += (missed + 1) * period_ms_;
  return true;
}

}  // namespace mox
