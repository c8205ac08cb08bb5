#include "worker/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "fake_services.h"

namespace mox {
namespace {

using test::FakeServices;
using test::ReplyLog;
using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

constexpr auto kIdleWait = 20ms;

void Post(Worker& worker, int32_t tag, const std::string& payload) {
  EXPECT_EQ(worker.Post(tag, reinterpret_cast<const uint8_t*>(payload.data()),
                        static_cast<uint32_t>(payload.size())),
            0);
}

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override { ReplyLog::Reset(); }
  FakeServices services;
};

TEST_F(WorkerTest, LifeInOrderAroundTheCommands) {
  {
    Worker worker(test::RecordReply, 3, services, services, kIdleWait);
    const uint8_t code = 2;
    worker.Post(2, &code, 0);  // length 0: nothing queued
    worker.Post(3, nullptr, 4);
    Post(worker, 1, "\x02R1");
    ASSERT_TRUE(ReplyLog::WaitFor(1));
    worker.Terminate();
  }
  EXPECT_EQ(services.Events(),
            (Strings{"log:MoxSettingsManager initializing...", "InitSettings", "InitDBTools",
                     "log:MoxSettingsManager initialized",
                     "log:Command_Plugin:: FAIL: null payload with length 4, command refused",
                     "protocol:MSG: R1", "log:MSG_GETMODIFIEDSTATEBYID(R1)",
                     "db:DBGetModifiedStateByID(R1)", "log:MoxSettingsManager finalizing...",
                     "DoneDBTools", "log:MoxSettingsManager finalized"}));
  EXPECT_EQ(ReplyLog::Replies().size(), 1u);
  EXPECT_GE(services.IdleTicks(), 1);
}

TEST_F(WorkerTest, FailedCreationUndoesWhatWasMadeAndRethrows) {
  for (bool settings_fail : {true, false}) {
    FakeServices failing;
    failing.fail_init_settings = settings_fail;
    failing.fail_init_db = !settings_fail;
    EXPECT_THROW(Worker(test::RecordReply, 3, failing, failing, kIdleWait), std::runtime_error);
    Strings expected = {"log:MoxSettingsManager initializing...", "InitSettings"};
    if (!settings_fail) expected.push_back("InitDBTools");
    expected.insert(expected.end(), {"log:MoxSettingsManager finalizing...", "DoneDBTools",
                                     "log:MoxSettingsManager finalized"});
    EXPECT_EQ(failing.Events(), expected);
    EXPECT_EQ(failing.IdleTicks(), 0);  // the thread never ran its loop
  }
}

TEST_F(WorkerTest, ThrowingCallbackDoesNotEndTheWorker) {
  {
    Worker worker(test::RecordReplyThenThrow, 666, services, services, kIdleWait);
    Post(worker, 1,
         "\x02"
         "A");
    Post(worker, 2,
         "\x02"
         "B");
    ASSERT_TRUE(ReplyLog::WaitFor(2));
  }
  EXPECT_EQ(services.Events("log:MoxSettingsManager:: FAIL: reply callback raised boom").size(),
            2u);
}

TEST_F(WorkerTest, StopFinishesTheCommandInProgressAndDropsTheRest) {
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false;
  bool release = false;
  services.before_operation = [&] {
    std::unique_lock lock(mutex);
    started = true;
    changed.notify_all();
    changed.wait(lock, [&] { return release; });
  };
  {
    Worker worker(test::RecordReply, 3, services, services, kIdleWait);
    for (int32_t tag = 1; tag <= 3; ++tag) Post(worker, tag, "\x01ID");
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return started; });
    }
    worker.Terminate();
    {
      std::lock_guard lock(mutex);
      release = true;
    }
    changed.notify_all();
  }
  const auto replies = ReplyLog::Replies();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].tag, 1);
  EXPECT_EQ(services.Events("db:").size(), 1u);
}

// A host whose callback posts every refused command again, from the worker thread, while one of
// its own threads floods a queue that holds one command: no reply comes inside Command_Plugin, so
// nothing recurses; replies come one at a time from the worker thread, and every command is
// answered in the end.
namespace retry {
Worker* gWorker = nullptr;
std::atomic<int> gInCallback{0};
std::atomic<bool> gOverlapped{false};
std::mutex gMutex;
std::set<std::thread::id> gThreads;
std::map<int32_t, int> gAnswered;  // tag: replies that were not refusals
std::condition_variable gDone;

void MOX_CALL RetryRefused(int32_t tag, const char*, const char* reply, int32_t length, uint32_t) {
  if (gInCallback.fetch_add(1) != 0) gOverlapped = true;
  {
    std::lock_guard lock(gMutex);
    gThreads.insert(std::this_thread::get_id());
    if (length > 1) ++gAnswered[tag];
  }
  if (length == 1) {
    const std::string payload = {reply[0], 'R'};
    gWorker->Post(tag, reinterpret_cast<const uint8_t*>(payload.data()), 2);
  }
  gInCallback.fetch_sub(1);
  gDone.notify_all();
}
}  // namespace retry

TEST_F(WorkerTest, RefusalsAreAnsweredByTheWorkerAndMayBePostedAgain) {
  constexpr int32_t kCommands = 300;
  services.queue_limit = 1;
  services.before_operation = [] { std::this_thread::sleep_for(50us); };
  Worker worker(retry::RetryRefused, 3, services, services, kIdleWait);
  retry::gWorker = &worker;
  std::thread flood([&] {
    for (int32_t tag = 0; tag < kCommands; ++tag) Post(worker, tag, "\x02R");
  });
  flood.join();
  {
    std::unique_lock lock(retry::gMutex);
    EXPECT_TRUE(
        retry::gDone.wait_for(lock, 60s, [] { return retry::gAnswered.size() == kCommands; }));
    for (const auto& [tag, count] : retry::gAnswered) EXPECT_EQ(count, 1) << tag;
    EXPECT_EQ(retry::gThreads.size(), 1u);
    EXPECT_EQ(retry::gThreads.count(flood.get_id()), 0u);
    EXPECT_EQ(retry::gThreads.count(std::this_thread::get_id()), 0u);
  }
  worker.Terminate();
  EXPECT_FALSE(retry::gOverlapped);
  EXPECT_GE(
      services.Events("log:MoxSettingsManager:: FAIL: command queue full (1 commands)").size(), 1u);
}

// A host that waits for each reply before it posts the next, pausing for less than, about as
// long as and longer than the worker watches its queue: with an idle wait of an hour, a post that
// skipped the wake of a worker that had gone to sleep would hold its reply for that hour. The
// stop right after the last reply finds the worker watching the queue and must not wait either.
TEST_F(WorkerTest, ClosedLoopPostsAreTakenWhetherTheWorkerSpinsOrSleepsAndTheStopIsPrompt) {
  constexpr int32_t kCommands = 1200;
  const std::chrono::microseconds pauses[] = {0us, 150us, 200us, 250us, 1000us};
  auto worker =
      std::make_unique<Worker>(test::RecordReply, 3, services, services, std::chrono::hours(1));
  for (int32_t tag = 0; tag < kCommands; ++tag) {
    Post(*worker, tag, "\x02R");
    ASSERT_TRUE(ReplyLog::WaitFor(std::size_t(tag) + 1)) << "reply " << tag << " held back";
    std::this_thread::sleep_for(pauses[tag % std::size(pauses)]);
  }
  Post(*worker, kCommands, "\x02R");
  ASSERT_TRUE(ReplyLog::WaitFor(kCommands + 1));
  const auto stop_begun = std::chrono::steady_clock::now();
  worker.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - stop_begun, 30s);
  const auto replies = ReplyLog::Replies();
  for (int32_t tag = 0; tag <= kCommands; ++tag) EXPECT_EQ(replies[std::size_t(tag)].tag, tag);
}

// Refusals wait in the queue in their turn, up to kMaxQueuedRefusals; those beyond are dropped and
// counted, and the count is logged once a command is queued again.
TEST_F(WorkerTest, RefusalsBeyondTheirLimitAreDroppedAndCounted) {
  std::mutex mutex;
  std::condition_variable changed;
  bool release = false;
  services.queue_limit = 1;
  services.before_operation = [&] {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return release; });
  };
  constexpr int32_t kPosted = static_cast<int32_t>(kMaxQueuedRefusals) + 10;
  {
    Worker worker(test::RecordReply, 3, services, services, kIdleWait);
    Post(worker, -1, "\x02R");  // taken by the worker, which then waits
    while (services.Events("db:").empty()) std::this_thread::sleep_for(1ms);
    for (int32_t tag = 0; tag < kPosted; ++tag) Post(worker, tag, "\x02R");
    {
      std::lock_guard lock(mutex);
      release = true;
    }
    changed.notify_all();
    ASSERT_TRUE(ReplyLog::WaitFor(kMaxQueuedRefusals + 2));
    Post(worker, kPosted, "\x02R");
    ASSERT_TRUE(ReplyLog::WaitFor(kMaxQueuedRefusals + 3));
    worker.Terminate();
  }
  const auto replies = ReplyLog::Replies();
  ASSERT_EQ(replies.size(), kMaxQueuedRefusals + 3);
  // The one command queued, then the refusals in the order of their commands, then the last one.
  EXPECT_EQ(replies[1].tag, 0);
  EXPECT_EQ(replies[1].bytes, std::string("\x02\x00", 2));
  for (std::size_t i = 2; i < replies.size() - 1; ++i) {
    ASSERT_EQ(replies[i].tag, static_cast<int32_t>(i - 1));
    ASSERT_EQ(replies[i].bytes, "\x02");
  }
  EXPECT_EQ(replies.back().tag, kPosted);
  const auto lines = services.Events("log:MoxSettingsManager:: ");
  EXPECT_EQ(lines, (Strings{"FAIL: command queue full (1 commands); commands are answered with "
                            "their code alone until it has room",
                            "FAIL: 65536 refused commands wait for their answer; further commands "
                            "are dropped without reply until the queue has room",
                            "command queue has room again; 65545 commands were refused while it "
                            "was full",
                            "FAIL: 9 refused commands were dropped without reply"}));
}

}  // namespace
}  // namespace mox
