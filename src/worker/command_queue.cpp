#include "worker/command_queue.h"

#include <algorithm>
#include <utility>

#include "platform/thread.h"

namespace mox {
namespace {

std::size_t QueuedCost(const CommandRecord& record) {
  return record.refused ? 0 : record.payload_length + kRecordOverheadBytes;
}

}  // namespace

void SpinBudget::CommandTaken(std::chrono::nanoseconds waited) noexcept {
  average_wait_ += (std::min(waited, kLongestWait) - average_wait_) / 4;
}

std::chrono::nanoseconds SpinBudget::AfterCommand() const noexcept {
  return enabled_ && average_wait_ <= kWorthSpinning ? kMaxSpin : std::chrono::nanoseconds{};
}

bool CommandQueue::PushCommandWithin(std::unique_ptr<CommandRecord>& record, std::size_t limit,
                                     std::size_t byte_limit) {
  const std::size_t bytes = QueuedCost(*record);
  bool wake = false;
  {
    MutexLock guard(queue_lock_);
    if (limit != 0 && queued_commands_ >= limit) return false;
    if (byte_limit != 0 && (bytes > byte_limit || queued_bytes_ > byte_limit - bytes)) return false;
    queue_.push_back(std::move(record));
    ++queued_commands_;
    queued_bytes_ += bytes;
    if (queue_.size() > peak_size_) peak_size_ = queue_.size();
    arrivals_.fetch_add(1, std::memory_order_release);
    wake = worker_sleeping_;
  }
  if (wake) queued_.NotifyOne();
  return true;
}

bool CommandQueue::PushRefusal(int32_t request_tag, uint8_t code, std::size_t refusal_limit) {
  auto record = std::make_unique<CommandRecord>();
  record->request_tag = request_tag;
  record->refused = true;
  record->refused_code = code;
  bool wake = false;
  {
    MutexLock guard(queue_lock_);
    if (queued_refusals_ >= refusal_limit) return false;
    queue_.push_back(std::move(record));
    ++queued_refusals_;
    if (queue_.size() > peak_size_) peak_size_ = queue_.size();
    arrivals_.fetch_add(1, std::memory_order_release);
    wake = worker_sleeping_;
  }
  if (wake) queued_.NotifyOne();
  return true;
}

std::unique_ptr<CommandRecord> CommandQueue::PopCommand(std::chrono::milliseconds timeout,
                                                        std::chrono::nanoseconds spin) {
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + timeout;
  uint64_t seen = 0;
  {
    MutexLock guard(queue_lock_);
    if (spin <= std::chrono::nanoseconds::zero() || !queue_.empty() || wake_pending_) {
      return TakeOldest(deadline);
    }
    // Read under the lock: every append and wake after this look changes it.
    seen = arrivals_.load(std::memory_order_relaxed);
  }
  const auto spin_end = start + std::min<std::chrono::nanoseconds>(spin, timeout);
  // The clock is read once per 64 looks: a look costs a few nanoseconds, the clock more.
  for (unsigned looks = 1; arrivals_.load(std::memory_order_acquire) == seen; ++looks) {
    platform::CpuRelax();
    if (looks % 64 == 0 && std::chrono::steady_clock::now() >= spin_end) break;
  }
  MutexLock guard(queue_lock_);
  return TakeOldest(deadline);
}

std::unique_ptr<CommandRecord> CommandQueue::TakeOldest(
    std::chrono::steady_clock::time_point deadline) {
  while (queue_.empty() && !wake_pending_) {
    worker_sleeping_ = true;
    const bool notified = queued_.WaitUntil(queue_lock_, deadline);
    worker_sleeping_ = false;
    if (!notified) break;
  }
  wake_pending_ = false;
  if (queue_.empty()) return nullptr;
  std::unique_ptr<CommandRecord> record = std::move(queue_.front());
  queue_.pop_front();
  if (record->refused) {
    --queued_refusals_;
  } else {
    --queued_commands_;
    queued_bytes_ -= QueuedCost(*record);
  }
  if (queue_.empty()) {
    emptied_after_peak_ = peak_size_;
    peak_size_ = 0;
  }
  return record;
}

bool CommandQueue::DrainedAfterBacklog(std::size_t backlog) {
  if (emptied_after_peak_ < backlog) return false;
  emptied_after_peak_ = 0;
  return true;
}

void CommandQueue::WakeWorker() noexcept {
  bool wake = false;
  {
    MutexLock guard(queue_lock_);
    wake_pending_ = true;
    arrivals_.fetch_add(1, std::memory_order_release);
    wake = worker_sleeping_;
  }
  if (wake) queued_.NotifyOne();
}

std::size_t CommandQueue::ClearQueue() {
  std::deque<std::unique_ptr<CommandRecord>> discarded;
  {
    MutexLock guard(queue_lock_);
    discarded.swap(queue_);
    queued_commands_ = 0;
    queued_bytes_ = 0;
    queued_refusals_ = 0;
    wake_pending_ = false;
  }
  return discarded.size();
}

}  // namespace mox
