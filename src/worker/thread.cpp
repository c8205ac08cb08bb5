#include "worker/thread.h"

namespace mox {

Thread::Thread() : thread_([this] { Run(); }) {}

Thread::~Thread() {
  Terminate();
  WaitFor();
}

void Thread::Resume() {
  {
    std::lock_guard lock(gate_lock_);
    if (resumed_ || skip_execute_) return;
    resumed_ = true;
  }
  gate_.notify_one();
}

void Thread::Terminate() noexcept {
  terminated_.store(true, std::memory_order_release);
}

void Thread::WaitFor() noexcept {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(gate_lock_);
    if (!resumed_) skip_execute_ = true;
  }
  gate_.notify_one();
  // Cannot fail: the thread is joinable and is not this one (Execute never waits for itself).
  try {
    thread_.join();
  } catch (...) {
  }
}

bool Thread::WaitFor(std::chrono::milliseconds timeout) noexcept {
  if (!thread_.joinable()) return true;
  {
    std::unique_lock lock(gate_lock_);
    if (!resumed_) skip_execute_ = true;
    gate_.notify_one();
    if (!ended_.wait_for(lock, timeout, [this] { return body_done_; })) return false;
  }
  WaitFor();  // the body has returned: the join is immediate
  return true;
}

bool Thread::Abandon() noexcept {
  std::lock_guard lock(gate_lock_);
  if (body_done_) return false;
  given_up_ = true;
  // Detached under the lock: the thread reads given_up_ under it too, so OnAbandonedEnd (which may
  // destroy the object) never starts while the owner still touches thread_.
  thread_.detach();
  return true;
}

void Thread::Run() noexcept {
  bool run = false;
  {
    std::unique_lock lock(gate_lock_);
    gate_.wait(lock, [this] { return resumed_ || skip_execute_; });
    run = !skip_execute_;
  }
  if (run) {
    try {
      Execute();
    } catch (...) {
      // Nothing may leave a thread body; Execute reports its own failures.
    }
  }
  bool given_up = false;
  {
    std::lock_guard lock(gate_lock_);
    body_done_ = true;
    given_up = given_up_;
    // Notified under the lock: an owner that wakes cannot destroy the object before it is let go.
    ended_.notify_all();
  }
  if (given_up) OnAbandonedEnd();
}

}  // namespace mox
