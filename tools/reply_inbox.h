// Replies handed over from the plug-in's thread to the host's waiting thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "apMoxSettingsManager.h"

namespace mox::host {

struct ReceivedReply {
  std::int32_t tag = 0;
  std::string name;   // the plug-in name the reply carried; empty for a null pointer
  std::string bytes;  // copied: the plug-in's buffer is valid only during the callback
  std::uint32_t user = 0;
  bool on_host_thread = false;  // called on the thread that made the inbox (never allowed)
  bool after_close = false;     // came after Close(), i.e. after Finalize_Plugin returned
};

// Thread-safe queue of replies in arrival order. The thread that creates it counts as the host's.
class ReplyInbox {
 public:
  ReplyInbox();
  ReplyInbox(const ReplyInbox&) = delete;
  ReplyInbox& operator=(const ReplyInbox&) = delete;

  // Called from the reply callback, on any thread.
  void Deliver(std::int32_t tag, const char* name, const char* reply, std::int32_t length,
               std::uint32_t user);

  // The oldest reply not yet taken, waiting for one until `deadline`.
  std::optional<ReceivedReply> WaitNext(std::chrono::steady_clock::time_point deadline);

  // Everything not yet taken, without waiting.
  std::vector<ReceivedReply> TakeAll();

  // Marks every later reply as coming too late.
  void Close();

 private:
  const std::thread::id host_thread_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<ReceivedReply> replies_;  // guarded by mutex_
  bool closed_ = false;                // guarded by mutex_
};

// While it lives, ReplyCallback() delivers into `inbox`; only one binding may exist at a time.
class CallbackBinding {
 public:
  explicit CallbackBinding(ReplyInbox& inbox);
  ~CallbackBinding();
  CallbackBinding(const CallbackBinding&) = delete;
  CallbackBinding& operator=(const CallbackBinding&) = delete;
};

// The function handed to Init_Plugin, in the calling convention the header gives callbacks. It
// never throws into the plug-in.
void MOX_CALL ReplyCallback(std::int32_t tag, const char* name, const char* reply,
                            std::int32_t length, std::uint32_t user);

}  // namespace mox::host
