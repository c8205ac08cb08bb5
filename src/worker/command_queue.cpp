#include "worker/command_queue.h"

#include <utility>

namespace mox {

void TCommandQueue::PushCommand(std::unique_ptr<TCommandRecord> record) {
  PushCommandWithin(record, 0);
}

bool TCommandQueue::PushCommandWithin(std::unique_ptr<TCommandRecord>& record, std::size_t limit) {
  {
    QueueGuard guard(*this);
    if (limit != 0 && FQueue.size() >= limit) return false;
    FQueue.push_back(std::move(record));
    if (FQueue.size() > FPeakSize) FPeakSize = FQueue.size();
  }
  FQueueSemaphore.release();
  return true;
}

std::unique_ptr<TCommandRecord> TCommandQueue::PopCommand(std::chrono::milliseconds timeout) {
  if (!FQueueSemaphore.try_acquire_for(timeout)) return nullptr;
  QueueGuard guard(*this);
  if (FQueue.empty()) return nullptr;
  std::unique_ptr<TCommandRecord> record = std::move(FQueue.front());
  FQueue.pop_front();
  if (FQueue.empty()) {
    FEmptiedAfterPeak = FPeakSize;
    FPeakSize = 0;
  }
  return record;
}

bool TCommandQueue::DrainedAfterBacklog(std::size_t backlog) {
  if (FEmptiedAfterPeak < backlog) return false;
  FEmptiedAfterPeak = 0;
  return true;
}

void TCommandQueue::WakeWorker() noexcept {
  FQueueSemaphore.release();
}

std::size_t TCommandQueue::ClearQueue() {
  std::deque<std::unique_ptr<TCommandRecord>> discarded;
  {
    QueueGuard guard(*this);
    discarded.swap(FQueue);
  }
  // Signals left for discarded commands would wake the worker for nothing.
  while (FQueueSemaphore.try_acquire()) {
  }
  return discarded.size();
}

}  // namespace mox
