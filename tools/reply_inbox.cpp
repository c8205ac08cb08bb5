#include "tools/reply_inbox.h"

#include <atomic>
#include <iterator>

namespace mox::host {

namespace {

// The callback gets only a 32-bit user value, too small for a pointer, so the inbox it
// delivers to is found here.
std::atomic<ReplyInbox*> g_bound_inbox{nullptr};

}  // namespace

ReplyInbox::ReplyInbox() : host_thread_(std::this_thread::get_id()) {}

void ReplyInbox::Deliver(std::int32_t tag, const char* name, const char* reply, std::int32_t length,
                         std::uint32_t user) {
  ReceivedReply received;
  received.tag = tag;
  if (name != nullptr) received.name = name;
  if (reply != nullptr && length > 0)
    received.bytes.assign(reply, static_cast<std::size_t>(length));
  received.user = user;
  received.on_host_thread = std::this_thread::get_id() == host_thread_;
  {
    std::lock_guard lock(mutex_);
    received.after_close = closed_;
    replies_.push_back(std::move(received));
  }
  arrived_.notify_all();
}

std::optional<ReceivedReply> ReplyInbox::WaitNext(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  if (!arrived_.wait_until(lock, deadline, [this] { return !replies_.empty(); }))
    return std::nullopt;
  ReceivedReply next = std::move(replies_.front());
  replies_.pop_front();
  return next;
}

std::vector<ReceivedReply> ReplyInbox::TakeAll() {
  std::lock_guard lock(mutex_);
  std::vector<ReceivedReply> all(std::make_move_iterator(replies_.begin()),
                                 std::make_move_iterator(replies_.end()));
  replies_.clear();
  return all;
}

void ReplyInbox::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
}

CallbackBinding::CallbackBinding(ReplyInbox& inbox) {
  g_bound_inbox.store(&inbox);
}

CallbackBinding::~CallbackBinding() {
  g_bound_inbox.store(nullptr);
}

void MOX_CALL ReplyCallback(std::int32_t tag, const char* name, const char* reply,
                            std::int32_t length, std::uint32_t user) {
  try {
    if (ReplyInbox* inbox = g_bound_inbox.load()) inbox->Deliver(tag, name, reply, length, user);
  } catch (...) {
    // Out of memory while copying: the reply is lost and its command will time out.
  }
}

}  // namespace mox::host
