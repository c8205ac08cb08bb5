// The command queue between the host's threads and the worker thread: a first-in, first-out list
// of command records with a lock and a condition variable the worker waits on.
//
// Thread safety: PushCommandWithin from any number of threads at once; PopCommand from the one
// worker thread; ClearQueue once the worker thread has ended.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>

#include "base/thread_annotations.h"

namespace mox {

// One queued command: the host's tag and the plug-in's own copy of the payload (message code,
// then command text). The record owns the copy.
struct CommandRecord {
  int32_t request_tag = 0;
  std::unique_ptr<uint8_t[]> payload;
  uint32_t payload_length = 0;
  // A refused command (over its size limit, or no room in the queue): it holds no payload and is
  // answered in its turn with `refused_code` alone, without being handled.
  bool refused = false;
  uint8_t refused_code = 0;
};

// What a queued command costs in memory besides its payload, counted against the byte limit: the
// record, its slot in the queue and what the allocator adds to the two blocks (measured with
// glibc: 72 bytes for a 1-byte payload).
inline constexpr std::size_t kRecordOverheadBytes = 72;

// How long the worker watches its empty queue before it sleeps, from how soon commands have been
// coming after the worker was ready for them. A host that waits for each reply before it posts
// the next comes back within tens of microseconds: watching for that long saves waking the
// worker, and the poster the call that wakes it. A host whose commands come further apart than
// kWorthSpinning gets no spin: it would only burn processor time.
class SpinBudget {
 public:
  static constexpr std::chrono::nanoseconds kWorthSpinning{std::chrono::microseconds(100)};
  static constexpr std::chrono::nanoseconds kMaxSpin{std::chrono::microseconds(200)};

  // On a single processor a spinning worker would only keep the host from posting.
  explicit SpinBudget(unsigned processors) noexcept : enabled_(processors > 1) {}

  // A command was taken `waited` after the worker began to wait for it.
  void CommandTaken(std::chrono::nanoseconds waited) noexcept;
  // How long to spin before sleeping, right after a command was handled.
  std::chrono::nanoseconds AfterCommand() const noexcept;

 private:
  // Of recent waits, weighted towards the latest; a wait counts as at most kLongestWait.
  static constexpr std::chrono::nanoseconds kLongestWait{std::chrono::milliseconds(1)};
  std::chrono::nanoseconds average_wait_ = kLongestWait;
  bool enabled_;
};

class CommandQueue {
 public:
  // How long an idle worker sleeps before it looks at its stop flag again.
  static constexpr std::chrono::milliseconds kPopTimeout{1000};

  // Appends the record and wakes the worker, unless `limit` commands are queued already or its cost
  // (payload plus kRecordOverheadBytes) would take the bytes queued past `byte_limit` (0: no such
  // limit): false then, and the record stays with the caller. Refusals count against neither limit.
  bool PushCommandWithin(std::unique_ptr<CommandRecord>& record, std::size_t limit,
                         std::size_t byte_limit = 0) EXCLUDES(queue_lock_);
  // Appends a refusal of the command `request_tag` with message code `code`, to be answered in its
  // turn with the code alone, unless `refusal_limit` refusals are queued already: false then.
  bool PushRefusal(int32_t request_tag, uint8_t code, std::size_t refusal_limit)
      EXCLUDES(queue_lock_);
  // Waits up to `timeout` for a posted command and takes the oldest; empty when the wait timed
  // out, found the list empty or was cut short by WakeWorker. For the first `spin` of the wait it
  // watches the list without sleeping: a command posted then is taken at once, and its poster
  // skips the system call that wakes a sleeping thread.
  std::unique_ptr<CommandRecord> PopCommand(std::chrono::milliseconds timeout = kPopTimeout,
                                            std::chrono::nanoseconds spin = {})
      EXCLUDES(queue_lock_);
  // True once each time a PopCommand emptied the list after it held at least `backlog` records;
  // from the worker thread only, right after PopCommand (no lock: PopCommand records it).
  // The memory of such a backlog is worth handing back.
  bool DrainedAfterBacklog(std::size_t backlog);
  // Frees every queued record without handling it and drops a pending wake; the number of records
  // freed.
  std::size_t ClearQueue() EXCLUDES(queue_lock_);
  // Lets a waiting PopCommand return at once (with none when the list is empty), so that a stop
  // request is noticed without waiting out the time-out.
  void WakeWorker() noexcept EXCLUDES(queue_lock_);

 private:
  // Sleeps until a record or a wake comes or `deadline` passes, then takes the oldest record.
  std::unique_ptr<CommandRecord> TakeOldest(std::chrono::steady_clock::time_point deadline)
      REQUIRES(queue_lock_);

  Mutex queue_lock_;  // held for one append or one take; released while the worker waits
  CondVar queued_;    // a record was appended, or WakeWorker was called
  bool wake_pending_ GUARDED_BY(queue_lock_) = false;
  bool worker_sleeping_ GUARDED_BY(queue_lock_) = false;  // only then does a push notify
  // Counts appends and wakes, all made under the lock: what a spinning PopCommand watches.
  std::atomic<uint64_t> arrivals_{0};
  std::deque<std::unique_ptr<CommandRecord>> queue_ GUARDED_BY(queue_lock_);  // oldest first
  std::size_t queued_commands_ GUARDED_BY(queue_lock_) = 0;  // records that are not refusals
  std::size_t queued_bytes_ GUARDED_BY(queue_lock_) = 0;     // their cost, as the byte limit counts
  std::size_t queued_refusals_ GUARDED_BY(queue_lock_) = 0;
  // The most records held since the queue was last empty.
  std::size_t peak_size_ GUARDED_BY(queue_lock_) = 0;
  std::size_t emptied_after_peak_ = 0;  // worker thread only: the peak the last emptying pop ended
};

}  // namespace mox
