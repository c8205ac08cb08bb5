#include "fake_services.h"

#include <chrono>

namespace mox::test {
namespace {

std::mutex gReplyMutex;
std::condition_variable gReplyArrived;
std::vector<Reply> gReplies;

}  // namespace

void ReplyLog::Reset() {
  std::lock_guard lock(gReplyMutex);
  gReplies.clear();
}

std::vector<Reply> ReplyLog::Replies() {
  std::lock_guard lock(gReplyMutex);
  return gReplies;
}

bool ReplyLog::WaitFor(std::size_t count) {
  std::unique_lock lock(gReplyMutex);
  return gReplyArrived.wait_for(lock, std::chrono::seconds(5),
                                [count] { return gReplies.size() >= count; });
}

void ReplyLog::Add(Reply reply) {
  {
    std::lock_guard lock(gReplyMutex);
    gReplies.push_back(std::move(reply));
  }
  gReplyArrived.notify_all();
}

void MOX_CALL RecordReply(int32_t tag, const char* name, const char* reply, int32_t length,
                          uint32_t user) {
  ReplyLog::Add({tag, name, std::string(reply, static_cast<std::size_t>(length)),
                 reply[length] == '\0', user});
}

void MOX_CALL RecordReplyThenThrow(int32_t tag, const char* name, const char* reply, int32_t length,
                                   uint32_t user) {
  RecordReply(tag, name, reply, length, user);
  if (user == 666) throw std::runtime_error("boom");
}

}  // namespace mox::test
