#include "worker/thread.h"

namespace mox {

Thread::Thread() : thread_([this] { Run(); }) {}

Thread::~Thread() {
  Terminate();
  WaitFor();
}

void Thread::Resume() {
  {
    MutexLock lock(gate_lock_);
    if (resumed_ || skip_execute_) return;
    resumed_ = true;
  }
  gate_.NotifyOne();
}

void Thread::Terminate() noexcept {
  terminated_.store(true, std::memory_order_release);
}

void Thread::WaitFor() noexcept {
  if (!thread_.joinable()) return;
  {
    MutexLock lock(gate_lock_);
    if (!resumed_) skip_execute_ = true;
  }
  gate_.NotifyOne();
  // Cannot fail: the thread is joinable and is not this one (Execute never waits for itself).
  try {
    thread_.join();
  } catch (...) {
  }
}

bool Thread::WaitFor(std::chrono::milliseconds timeout) noexcept {
  if (!thread_.joinable()) return true;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  {
    MutexLock lock(gate_lock_);
    if (!resumed_) skip_execute_ = true;
    gate_.NotifyOne();
    while (!body_done_) {
      if (!ended_.WaitUntil(gate_lock_, deadline) && !body_done_) return false;
    }
  }
  WaitFor();  // the body has returned: the join is immediate
  return true;
}

bool Thread::Abandon() noexcept {
  MutexLock lock(gate_lock_);
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
    MutexLock lock(gate_lock_);
    while (!resumed_ && !skip_execute_) gate_.Wait(gate_lock_);
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
    MutexLock lock(gate_lock_);
    body_done_ = true;
    given_up = given_up_;
    // Notified under the lock: an owner that wakes cannot destroy the object before it is let go.
    ended_.NotifyAll();
  }
  if (given_up) OnAbandonedEnd();
}

}  // namespace mox
