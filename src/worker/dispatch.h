// The handling of one command on the worker thread: the payload split into message code and
// command text, the log lines, the one database operation the code selects, and the reply to the
// host through its callback.
//
// Thread safety: only the worker thread uses a dispatch, except CloseReplies (any thread).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "apMoxSettingsManager.h"
#include "base/thread_annotations.h"
#include "db/database_access.h"
#include "worker/command_queue.h"
#include "worker/worker_services.h"

namespace mox {

// True for the message codes that select a command (and are answered).
bool IsKnownMessageCode(uint8_t code);

// The most bytes of command text a command of `code` may carry. Codes 1 to 3 hand their text to one
// text parameter of the database (code 3 after its state byte), so a longer text can never
// succeed; every other code is held to `max_command_bytes`.
uint64_t MaxCommandTextBytes(uint8_t code, std::size_t max_command_bytes);

class CommandDispatch {
 public:
  // `callback` may be empty: commands are then logged and dropped.
  CommandDispatch(MoxReplyCallback callback, uint32_t user_value, WorkerServices& services,
                  DatabaseAccess& database);

  // Answers every known message code exactly once (the code byte alone after a failure, and for a
  // refused command without handling it) and no other. Never throws: a failure, the host's callback
  // raising included, becomes a log line.
  void HandleCommand(const CommandRecord& record) noexcept;

  // Stops every later call of the reply callback; a reply whose call has begun may take up to
  // `wait` to end. False when one was still running after that.
  bool CloseReplies(std::chrono::milliseconds wait) noexcept EXCLUDES(reply_gate_);

 private:
  using BlockingOperation = BlockingResult (DatabaseAccess::*)(RequestList);

  // The reply to send, or nothing for a code that selects no command.
  std::optional<std::string> RunCommand(uint8_t code, std::string_view text);
  std::string RunBlocking(uint8_t code, std::string_view text, const char* routine,
                          BlockingOperation operation);
  // Calls the host's callback once; whatever it raises is logged and goes no further.
  void SendReply(int32_t request_tag, const std::string& reply) noexcept EXCLUDES(reply_gate_);
  // The callback call itself, only under a shared hold of the gate.
  void CallCallback(int32_t request_tag, const char* reply, int32_t length)
      REQUIRES_SHARED(reply_gate_);

  MoxReplyCallback reply_callback_;
  uint32_t user_value_;
  WorkerServices& services_;
  DatabaseAccess& database_;
  // Valid while the library is loaded.
  const char* const plugin_name_;
  // A reply is sent under a shared hold of the gate; closing takes it exclusively, so that once
  // it is taken no call of the callback is running or can begin.
  SharedTimedMutex reply_gate_;
  std::atomic<bool> replies_closed_{false};
};

}  // namespace mox
