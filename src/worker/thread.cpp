#include "worker/thread.h"

namespace mox {

TThread::TThread() : thread_([this] { Run(); }) {}

TThread::~TThread() {
  Terminate();
  WaitFor();
}

void TThread::Resume() {
  {
    std::lock_guard lock(gate_lock_);
    if (resumed_ || abandoned_) return;
    resumed_ = true;
  }
  gate_.notify_one();
}

void TThread::Terminate() noexcept {
  terminated_.store(true, std::memory_order_release);
}

void TThread::WaitFor() noexcept {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(gate_lock_);
    if (!resumed_) abandoned_ = true;
  }
  gate_.notify_one();
  // Cannot fail: the thread is joinable and is not this one (Execute never waits for itself).
  try {
    thread_.join();
  } catch (...) {
  }
}

void TThread::Run() noexcept {
  {
    std::unique_lock lock(gate_lock_);
    gate_.wait(lock, [this] { return resumed_ || abandoned_; });
    if (abandoned_) return;
  }
  try {
    Execute();
  } catch (...) {
    // Nothing may leave a thread body; Execute reports its own failures.
  }
}

}  // namespace mox
