// The connection's idle timer: ticks every period from when it was armed. Missed ticks coalesce
// into one, as with an operating-system timer whose messages are handled late.
#pragma once

#include <cstdint>

namespace mox {

class IdleTimer {
 public:
  // 0 disarms; a positive period arms the timer from `now`, unless it already runs with that
  // period (then it keeps its phase).
  void SetPeriod(int32_t period_ms, int64_t now_ms);

  // True when a tick is due at `now`; the next tick is then the first one after `now`.
  bool TakeDueTick(int64_t now_ms);

 private:
  int32_t period_ms_ = 0;
  int64_t next_due_ms_ = 0;
};

}  // namespace mox
