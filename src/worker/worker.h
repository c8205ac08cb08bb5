// Worker: the plug-in's one worker between the host's threads and the settings database. It owns
// the command queue and the one thread that takes commands off it, handles each (database
// operation, log lines, reply to the host) and frees it.
//
// Thread safety: Post may be called from any number of threads at once, the worker thread (a reply
// callback) included; construction and destruction from one host thread, never concurrently with
// Post from another host thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "apMoxSettingsManager.h"

namespace mox {

class DatabaseAccess;
class WorkerServices;

// The default of [Queue] MaxCommandBytes: the longest command text of the blocking codes (and of
// unknown codes, which are only logged). A command over its limit is refused before it is copied,
// queued, parsed or logged whole, so that one command cannot take memory out of all proportion to
// what it can do.
inline constexpr std::size_t kDefaultMaxCommandBytes = 1024 * 1024;

// The most refused commands waiting for their answer (code byte alone) in the queue; about 40
// bytes each. A command refused beyond them is dropped without reply, and counted.
inline constexpr std::size_t kMaxQueuedRefusals = 65536;

// How long destruction waits for a worker thread that does not end: first for the command in
// progress to finish, then after asking the client library to cancel the running database call,
// then after having it drop the connection. A thread still running after all three is left
// behind: it answers nothing more, releases the database objects itself once it ends, and the
// library stays loaded for it. Destruction thus returns within their sum (9 s by default).
struct StopTimeouts {
  std::chrono::milliseconds finish{5000};
  std::chrono::milliseconds cancel{2000};
  std::chrono::milliseconds abort{2000};
};

class Worker {
 public:
  // Creation in order: thread (not started), queue, reply callback,
  // "MoxSettingsManager initializing...", InitSettings, the database's Init, "MoxSettingsManager
  // initialized", thread started. On failure the destruction steps run for what was made and the
  // error is rethrown. Refused (std::runtime_error, before anything is made) while a worker left
  // behind by an earlier destruction still runs. The worker owns `database`; `services` must
  // outlive it.
  Worker(MoxReplyCallback callback, uint32_t user_value, WorkerServices& services,
         std::unique_ptr<DatabaseAccess> database);
  // The same on a database the caller keeps (tests, fuzzers); an idle worker looks at its stop
  // flag every `idle_wait`. `services` and `database` must outlive the worker.
  Worker(MoxReplyCallback callback, uint32_t user_value, WorkerServices& services,
         DatabaseAccess& database,
         std::chrono::milliseconds idle_wait = std::chrono::milliseconds(1000),
         StopTimeouts stop = {});
  // Waits for the worker thread (a command in progress is finished and answered; see
  // StopTimeouts for one that does not end), drops queued commands without reply, the database's
  // Done, "MoxSettingsManager finalized".
  ~Worker();

  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Queues a copy of the command `payload` (message code, then command text; `length` bytes; a
  // length of 0 is nothing to queue, a null payload is logged and refused). Always 0. A command
  // that is over its size limit (MaxCommandTextBytes; logged with its code and length, never
  // copied), that finds the queue full (QueueLimit, QueueByteLimit; logged when the queue fills and
  // when it has room again) or whose copy cannot be made is refused: a known code is queued as its
  // code alone and answered with it in its turn, by the worker thread like every reply. Refusals
  // beyond kMaxQueuedRefusals are dropped without reply and counted.
  int32_t Post(int32_t request_tag, const uint8_t* payload, uint32_t length);

  // Sets the stop flag and wakes an idle worker; it ends after the pass in progress.
  void Terminate() noexcept;

  // True while the thread of a worker left behind by its destruction still runs. What such a
  // thread did before it ended happens before a call that returns false.
  static bool WorkerLeftBehindRunning() noexcept;

 private:
  Worker(MoxReplyCallback callback, uint32_t user_value, WorkerServices& services,
         std::unique_ptr<DatabaseAccess> owned_database, DatabaseAccess* other_database,
         std::chrono::milliseconds idle_wait, StopTimeouts stop);

  // The destruction steps, for a finished worker or for what a failed creation made.
  void Finalize() noexcept;
  // Ends the worker thread within the stop timeouts; false when it had to be left behind.
  bool StopWorker() noexcept;
  // The queue limits as the "command queue full" line names them.
  std::string QueueLimitText() const;
  // Queues the refusal of a command of `code`, or drops it when too many refusals wait.
  void Refuse(int32_t request_tag, uint8_t code);
  // After a command was queued: logs how many were refused, and how many of those dropped, since
  // the queue last had room, if any.
  void ReportRoomAgain();

  struct Impl;
  WorkerServices& services_;
  // The database the production worker owns; goes to a thread left behind with the rest.
  std::unique_ptr<DatabaseAccess> owned_database_;
  DatabaseAccess& database_;
  const StopTimeouts stop_;
  // Set before the thread starts, read by Post.
  std::size_t queue_limit_ = 0;
  std::size_t queue_byte_limit_ = 0;
  std::size_t max_command_bytes_ = kDefaultMaxCommandBytes;
  // Commands refused since the queue last had room, and those of them dropped without reply;
  // logged when the queue fills and when it has room again.
  std::atomic<int64_t> refused_{0};
  std::atomic<int64_t> dropped_{0};
  std::unique_ptr<Impl> impl_;
};

}  // namespace mox
