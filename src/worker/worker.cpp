#include "worker/worker.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "db/database_access.h"
#include "platform/process.h"
#include "worker/command_queue.h"
#include "worker/dispatch.h"
#include "worker/thread.h"
#include "worker/worker_services.h"

namespace mox {
namespace {

// Workers whose destruction gave up waiting and whose thread has not ended yet. Each still uses
// the database objects, which it releases when it ends.
constinit std::atomic<int> gWorkersLeftBehind{0};

// A backlog this long holds megabytes; once it has drained, the allocator is asked to hand them
// back to the system.
constexpr std::size_t kBacklogWorthReleasing = 10000;

// The log line of a command refused for its size.
std::string OversizedCommandLine(uint8_t code, uint64_t text_bytes, uint64_t limit) {
  return "Command_Plugin:: FAIL: message " + std::to_string(code) + " with " +
         std::to_string(text_bytes) + " bytes of command text refused, its limit is " +
         std::to_string(limit) + " bytes";
}

std::string Milliseconds(std::chrono::milliseconds ms) {
  return std::to_string(ms.count()) + " ms";
}

}  // namespace

// The worker thread with what it works on. The thread is created first (held until Resume), then
// the queue, and the reply callback and user value inside the dispatch.
struct Worker::Impl final : Thread {
  Impl(MoxReplyCallback callback, uint32_t user_value, WorkerServices& services,
       DatabaseAccess& database, std::chrono::milliseconds idle_wait)
      : services_(services),
        database_(database),
        idle_wait_(idle_wait),
        dispatch_(callback, user_value, services, database) {}

  // Execute uses the members below, so the thread must end before they go.
  ~Impl() override {
    Terminate();
    WaitFor();
  }

  // One command per pass at most; the stop flag is looked at only at the end of a pass, so a
  // command taken before the flag was set is still answered.
  void Execute() override {
    SpinBudget spin_budget(std::thread::hardware_concurrency());
    std::chrono::nanoseconds spin{};  // only right after a command: an idle worker only sleeps
    for (;;) {
      try {
        const auto waiting_since = std::chrono::steady_clock::now();
        std::unique_ptr<CommandRecord> record = queue_.PopCommand(idle_wait_, spin);
        spin = {};
        if (record) {
          spin_budget.CommandTaken(std::chrono::steady_clock::now() - waiting_since);
          dispatch_.HandleCommand(*record);
          spin = spin_budget.AfterCommand();
          record.reset();
          if (queue_.DrainedAfterBacklog(kBacklogWorthReleasing)) {
            platform::ReturnFreeMemoryToSystem();
          }
        }
      } catch (const std::exception& error) {
        services_.Log(std::string("MoxSettingsManager:: FAIL: worker loop raised ") + error.what());
      } catch (...) {
        services_.Log("MoxSettingsManager:: FAIL: worker loop raised an unknown error");
      }
      database_.ServeIdleTicks();
      if (Terminated()) break;
    }
    database_.Disconnect();
  }

  // The thread of a worker left behind has ended at last: it frees what the destruction left to
  // it, the worker itself included, and a new worker may be created from here on.
  void OnAbandonedEnd() noexcept override {
    // The destruction released the worker to this thread, which is its last user.
    const std::unique_ptr<Impl> self(this);
    try {
      queue_.ClearQueue();
    } catch (...) {
    }
    database_.Done();
    services_.Log(
        "MoxSettingsManager:: the worker thread left behind has ended; database objects released");
    gWorkersLeftBehind.fetch_sub(1);
  }

  WorkerServices& services_;
  DatabaseAccess& database_;
  // The production worker's database, once a thread left behind has taken it over.
  std::unique_ptr<DatabaseAccess> owned_database_;
  const std::chrono::milliseconds idle_wait_;
  CommandQueue queue_;
  CommandDispatch dispatch_;
};

Worker::Worker(MoxReplyCallback callback, uint32_t user_value, WorkerServices& services,
               DatabaseAccess& database, std::chrono::milliseconds idle_wait, StopTimeouts stop)
    : Worker(callback, user_value, services, nullptr, &database, idle_wait, stop) {}

Worker::Worker(MoxReplyCallback callback, uint32_t user_value, WorkerServices& services,
               std::unique_ptr<DatabaseAccess> database)
    : Worker(callback, user_value, services, std::move(database), nullptr,
             std::chrono::milliseconds(1000), StopTimeouts{}) {}

Worker::Worker(MoxReplyCallback callback, uint32_t user_value, WorkerServices& services,
               std::unique_ptr<DatabaseAccess> owned_database, DatabaseAccess* other_database,
               std::chrono::milliseconds idle_wait, StopTimeouts stop)
    : services_(services),
      owned_database_(std::move(owned_database)),
      database_(owned_database_ ? *owned_database_ : *other_database),
      stop_(stop) {
  if (gWorkersLeftBehind.load() > 0) {
    throw std::runtime_error(
        "the worker thread left behind by the last Finalize_Plugin has not ended yet");
  }
  try {
    impl_ = std::make_unique<Impl>(callback, user_value, services, database_, idle_wait);
    services_.Log("MoxSettingsManager initializing...");
    const Settings settings = services_.LoadSettings();
    queue_limit_ = static_cast<std::size_t>(std::max(0, settings.queue_max_commands));
    queue_byte_limit_ = static_cast<std::size_t>(std::max(0, settings.queue_max_bytes));
    if (settings.queue_max_command_bytes > 0) {
      max_command_bytes_ = static_cast<std::size_t>(settings.queue_max_command_bytes);
    }
    database_.Init(settings);
    services_.Log("MoxSettingsManager initialized");
    impl_->Resume();
  } catch (...) {
    Finalize();
    throw;
  }
}

Worker::~Worker() {
  Finalize();
}

int32_t Worker::Post(int32_t request_tag, const uint8_t* payload, uint32_t length) {
  if (length == 0) return 0;
  if (payload == nullptr) {
    services_.Log("Command_Plugin:: FAIL: null payload with length " + std::to_string(length) +
                  ", command refused");
    return 0;
  }
  const uint8_t code = payload[0];
  const uint64_t text_bytes = length - 1;
  const uint64_t limit = MaxCommandTextBytes(code, max_command_bytes_);
  if (text_bytes > limit) {
    services_.Log(OversizedCommandLine(code, text_bytes, limit));
    Refuse(request_tag, code);
    return 0;
  }
  auto record = std::make_unique<CommandRecord>();
  record->request_tag = request_tag;
  record->payload.reset(new (std::nothrow) uint8_t[length]);
  if (!record->payload) {
    services_.Log("Command_Plugin:: FAIL: no memory for a payload of " + std::to_string(length) +
                  " bytes, command refused");
    Refuse(request_tag, code);
    return 0;
  }
  std::memcpy(record->payload.get(), payload, length);
  record->payload_length = length;
  if (impl_->queue_.PushCommandWithin(record, queue_limit_, queue_byte_limit_)) {
    ReportRoomAgain();
    return 0;
  }
  if (refused_.fetch_add(1) == 0) {
    services_.Log("MoxSettingsManager:: FAIL: command queue full (" + QueueLimitText() +
                  "); commands are answered with their code alone until it has room");
  }
  Refuse(request_tag, code);
  return 0;
}

void Worker::Refuse(int32_t request_tag, uint8_t code) {
  // Other codes are never answered, refused or not.
  if (!IsKnownMessageCode(code)) return;
  if (impl_->queue_.PushRefusal(request_tag, code, kMaxQueuedRefusals)) return;
  if (dropped_.fetch_add(1) == 0) {
    services_.Log("MoxSettingsManager:: FAIL: " + std::to_string(kMaxQueuedRefusals) +
                  " refused commands wait for their answer; further commands are dropped "
                  "without reply until the queue has room");
  }
}

void Worker::ReportRoomAgain() {
  if (refused_.load() > 0) {
    const int64_t refused = refused_.exchange(0);
    if (refused > 0) {
      services_.Log("MoxSettingsManager:: command queue has room again; " +
                    std::to_string(refused) + " commands were refused while it was full");
    }
  }
  // Counted until a command is queued again, not until a refusal is: refusals are answered in
  // microseconds, and a line for each would flood the log.
  if (dropped_.load() > 0) {
    const int64_t dropped = dropped_.exchange(0);
    if (dropped > 0) {
      services_.Log("MoxSettingsManager:: FAIL: " + std::to_string(dropped) +
                    " refused commands were dropped without reply");
    }
  }
}

std::string Worker::QueueLimitText() const {
  const std::string commands = std::to_string(queue_limit_) + " commands";
  const std::string bytes = std::to_string(queue_byte_limit_) + " bytes";
  if (queue_byte_limit_ == 0) return commands;
  if (queue_limit_ == 0) return bytes;
  return commands + " or " + bytes;
}

bool Worker::WorkerLeftBehindRunning() noexcept {
  return gWorkersLeftBehind.load() > 0;
}

void Worker::Terminate() noexcept {
  if (!impl_) return;
  impl_->Terminate();
  impl_->queue_.WakeWorker();
}

bool Worker::StopWorker() noexcept {
  // A thread never resumed ends at once without running Execute.
  if (impl_->WaitFor(stop_.finish)) return true;
  services_.Log("MoxSettingsManager:: worker still busy " + Milliseconds(stop_.finish) +
                " after the stop request, cancelling its database call");
  database_.CancelOperation(false, stop_.cancel);
  if (impl_->WaitFor(stop_.cancel)) return true;
  services_.Log("MoxSettingsManager:: worker still busy, dropping its database connection");
  database_.CancelOperation(true, stop_.abort);
  if (impl_->WaitFor(stop_.abort)) return true;

  // Left behind: from here on it must not answer, and its code must stay mapped.
  const bool no_reply_running = impl_->dispatch_.CloseReplies(std::chrono::milliseconds(100));
  gWorkersLeftBehind.fetch_add(1);
  // The thread frees the database it still uses when it ends, so it takes it over before it is
  // let go (Abandon orders this before the thread's last steps).
  impl_->owned_database_ = std::move(owned_database_);
  if (!impl_->Abandon()) {
    gWorkersLeftBehind.fetch_sub(1);  // it ended at the last moment after all
    owned_database_ = std::move(impl_->owned_database_);
    impl_->WaitFor();
    return true;
  }
  services_.KeepLibraryLoaded();
  services_.Log("MoxSettingsManager:: FAIL: worker thread did not end within " +
                Milliseconds(stop_.finish + stop_.cancel + stop_.abort) +
                " of the stop request; left behind without replies" +
                (no_reply_running ? "" : " (a reply callback is still running)") +
                ", the library stays loaded");
  return false;
}

void Worker::Finalize() noexcept {
  services_.Log("MoxSettingsManager finalizing...");
  if (impl_) {
    Terminate();
    if (!StopWorker()) {
      // The thread left behind owns the worker and the database from here on.
      static_cast<void>(impl_.release());
      services_.Log("MoxSettingsManager finalized");
      return;
    }
    std::size_t discarded = 0;
    try {
      discarded = impl_->queue_.ClearQueue();
    } catch (...) {
      // The records go with the queue below all the same.
    }
    impl_.reset();
    if (discarded >= kBacklogWorthReleasing) platform::ReturnFreeMemoryToSystem();
  }
  database_.Done();
  services_.Log("MoxSettingsManager finalized");
}

}  // namespace mox
