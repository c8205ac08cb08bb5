// A fake plug-in for the host's tests: the four exports and a worker thread that answers by fixed
// rules on the command text instead of asking a database.
//   "fail"      the code byte alone
//   "silent"    no reply
//   "late"      the normal reply, 600 ms later
//   "twice"     the normal reply, sent two times
//   "wrongname" the normal reply under another plug-in name
//   anything else: code 1 -> state 1 and "data of <ID>" ("binary" gives bytes NUL, 0xFF and a
//   quote), code 2 -> state 1, code 3 -> state (first text byte != 0), codes 10 to 12 -> the
//   request comma text followed by ",Status=ok". Other codes get no reply, except the text
//   "answer", which gets the code and "answered".
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#pragma GCC visibility push(default)
#include "apMoxSettingsManager.h"
#pragma GCC visibility pop

namespace {

constexpr const char* kName = "FakeMox";
constexpr const char* kOtherName = "SomebodyElse";

struct FakeCommand {
  std::int32_t tag;
  std::string payload;
};

std::string NormalReply(std::uint8_t code, const std::string& text) {
  std::string reply(1, static_cast<char>(code));
  switch (code) {
    case MSG_GETDATABYID:
      reply += '\x01';
      reply += text == "binary" ? std::string("a\0b\xff\"", 5) : "data of " + text;
      break;
    case MSG_GETMODIFIEDSTATEBYID:
      reply += '\x01';
      break;
    case MSG_SETMODIFIEDSTATEBYID:
      reply += text.empty() || text[0] == 0 ? '\x00' : '\x01';
      break;
    case MSG_BLOCKINGS_GETDATA:
    case MSG_BLOCKINGS_SETPWD:
    case MSG_BLOCKINGS_SETLINK:
      reply += text + ",Status=ok";
      break;
    default:
      reply += "answered";
      break;
  }
  return reply;
}

class FakeWorker {
 public:
  FakeWorker(MoxReplyCallback callback, std::uint32_t user)
      : callback_(callback), user_(user), thread_([this] { Run(); }) {}

  ~FakeWorker() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  void Post(FakeCommand command) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(command));
    }
    wake_.notify_all();
  }

 private:
  void Run() {
    for (;;) {
      FakeCommand command;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        command = std::move(queue_.front());
        queue_.pop_front();
      }
      Answer(command);
    }
  }

  void Answer(const FakeCommand& command) {
    const auto code = static_cast<std::uint8_t>(command.payload[0]);
    const std::string text = command.payload.substr(1);
    const bool known = code == 1 || code == 2 || code == 3 || (code >= 10 && code <= 12);
    if (text == "silent" || (!known && text != "answer")) return;
    if (text == "late") std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const std::string reply =
        text == "fail" ? command.payload.substr(0, 1) : NormalReply(code, text);
    const char* name = text == "wrongname" ? kOtherName : kName;
    const int times = text == "twice" ? 2 : 1;
    for (int i = 0; i < times; ++i)
      callback_(command.tag, name, reply.c_str(), static_cast<std::int32_t>(reply.size()), user_);
  }

  const MoxReplyCallback callback_;
  const std::uint32_t user_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<FakeCommand> queue_;
  bool stop_ = false;
  std::thread thread_;  // last: it starts running in the constructor
};

std::unique_ptr<FakeWorker> g_worker;

}  // namespace

extern "C" {

void Init_Plugin(const char** name, MoxReplyCallback callback, uint32_t user) {
  *name = kName;
  g_worker.reset();
  g_worker = std::make_unique<FakeWorker>(callback, user);
}

void GetName_Plugin(const char** name) {
  *name = kName;
}

int32_t Command_Plugin(int32_t tag, const void* payload, uint32_t length) {
  if (length == 0 || !g_worker) return 0;
  g_worker->Post({tag, std::string(static_cast<const char*>(payload), length)});
  return 0;
}

void Finalize_Plugin(void) {
  g_worker.reset();
}

}  // extern "C"
