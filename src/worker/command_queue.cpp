#include "worker/command_queue.h"

#include <utility>

namespace mox {

void TCommandQueue::PushCommand(std::unique_ptr<TCommandRecord> record) {
  {
    QueueGuard guard(*this);
    FQueue.push_back(std::move(record));
  }
  FQueueSemaphore.release();
}

std::unique_ptr<TCommandRecord> TCommandQueue::PopCommand(std::chrono::milliseconds timeout) {
  if (!FQueueSemaphore.try_acquire_for(timeout)) return nullptr;
  QueueGuard guard(*this);
  if (FQueue.empty()) return nullptr;
  std::unique_ptr<TCommandRecord> record = std::move(FQueue.front());
  FQueue.pop_front();
  return record;
}

void TCommandQueue::WakeWorker() noexcept {
  FQueueSemaphore.release();
}

void TCommandQueue::ClearQueue() {
  std::deque<std::unique_ptr<TCommandRecord>> discarded;
  {
    QueueGuard guard(*this);
    discarded.swap(FQueue);
  }
  // Signals left for discarded commands would wake the worker for nothing.
  while (FQueueSemaphore.try_acquire()) {
  }
}

}  // namespace mox
