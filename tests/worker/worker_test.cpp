#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "fake_services.h"
#include "worker/mox_settings_manager.h"

namespace mox {
namespace {

using test::FakeServices;
using test::ReplyLog;
using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

constexpr auto kIdleWait = 20ms;

void Post(MoxSettingsManager& worker, int32_t tag, const std::string& payload) {
  auto copy = std::make_unique<uint8_t[]>(payload.size());
  std::memcpy(copy.get(), payload.data(), payload.size());
  EXPECT_EQ(worker.PostCommand(tag, std::move(copy), static_cast<uint32_t>(payload.size())), 0);
}

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override { ReplyLog::Reset(); }
  FakeServices services;
};

TEST_F(WorkerTest, LifeInOrderAroundTheCommands) {
  {
    MoxSettingsManager worker(test::RecordReply, 3, services, services, kIdleWait);
    Post(worker, 1, "\x02R1");
    worker.PostCommand(2, std::make_unique<uint8_t[]>(1), 0);  // length 0: nothing queued
    worker.PostCommand(3, nullptr, 4);
    ASSERT_TRUE(ReplyLog::WaitFor(1));
    worker.Terminate();
  }
  EXPECT_EQ(services.Events(),
            (Strings{"log:MoxSettingsManager initializing...", "InitSettings", "InitDBTools",
                     "log:MoxSettingsManager initialized", "protocol:MSG: R1",
                     "log:MSG_GETMODIFIEDSTATEBYID(R1)", "db:DBGetModifiedStateByID(R1)",
                     "log:MoxSettingsManager finalizing...", "DoneDBTools",
                     "log:MoxSettingsManager finalized"}));
  EXPECT_EQ(ReplyLog::Replies().size(), 1u);
  EXPECT_GE(services.IdleTicks(), 1);
}

TEST_F(WorkerTest, FailedCreationUndoesWhatWasMadeAndRethrows) {
  for (bool settings_fail : {true, false}) {
    FakeServices failing;
    failing.fail_init_settings = settings_fail;
    failing.fail_init_db = !settings_fail;
    EXPECT_THROW(MoxSettingsManager(test::RecordReply, 3, failing, failing, kIdleWait),
                 std::runtime_error);
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
    MoxSettingsManager worker(test::RecordReplyThenThrow, 666, services, services, kIdleWait);
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
    MoxSettingsManager worker(test::RecordReply, 3, services, services, kIdleWait);
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

}  // namespace
}  // namespace mox
