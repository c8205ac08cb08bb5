#include "worker/command_queue.h"

#include <utility>

namespace mox {

bool CommandQueue::PushCommandWithin(std::unique_ptr<CommandRecord>& record, std::size_t limit,
                                     std::size_t byte_limit) {
  const std::size_t bytes = record->payload_length;
  {
    MutexLock guard(queue_lock_);
    if (limit != 0 && queue_.size() >= limit) return false;
    if (byte_limit != 0 && (bytes > byte_limit || queued_bytes_ > byte_limit - bytes)) return false;
    queue_.push_back(std::move(record));
    queued_bytes_ += bytes;
    if (queue_.size() > peak_size_) peak_size_ = queue_.size();
  }
  queue_semaphore_.release();
  return true;
}

std::unique_ptr<CommandRecord> CommandQueue::PopCommand(std::chrono::milliseconds timeout) {
  if (!queue_semaphore_.try_acquire_for(timeout)) return nullptr;
  MutexLock guard(queue_lock_);
  if (queue_.empty()) return nullptr;
  std::unique_ptr<CommandRecord> record = std::move(queue_.front());
  queue_.pop_front();
  queued_bytes_ -= record->payload_length;
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
  queue_semaphore_.release();
}

std::size_t CommandQueue::ClearQueue() {
  std::deque<std::unique_ptr<CommandRecord>> discarded;
  {
    MutexLock guard(queue_lock_);
    discarded.swap(queue_);
    queued_bytes_ = 0;
  }
  // Signals left for discarded commands would wake the worker for nothing.
  while (queue_semaphore_.try_acquire()) {
  }
  return discarded.size();
}

}  // namespace mox
