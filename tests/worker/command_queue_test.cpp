#include "worker/command_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace mox {
namespace {

using namespace std::chrono_literals;

std::unique_ptr<CommandRecord> Record(int32_t tag, uint32_t length = 1) {
  auto record = std::make_unique<CommandRecord>();
  record->request_tag = tag;
  record->payload_length = length;
  record->payload = std::make_unique<uint8_t[]>(length);
  return record;
}

// Queues without a limit, as the worker does when none is set.
void Push(CommandQueue& queue, std::unique_ptr<CommandRecord> record) {
  ASSERT_TRUE(queue.PushCommandWithin(record, 0));
}

// The byte limit counts what the queued commands cost (payload plus record): a record that would
// pass it stays with the caller, and taking or clearing records makes room again. Refusals count
// against their own limit only and keep their place in the order.
TEST(CommandQueue, LimitsBoundTheCommandsAndRefusalsQueued) {
  CommandQueue queue;
  constexpr std::size_t kLimit = 100 + 2 * kRecordOverheadBytes;
  struct Step {
    uint32_t length;
    bool taken;
  };
  for (const Step step :
       {Step{60, true}, Step{41, false}, Step{40, true}, Step{1, false}, Step{101, false}}) {
    auto record = Record(static_cast<int32_t>(step.length), step.length);
    EXPECT_EQ(queue.PushCommandWithin(record, 0, kLimit), step.taken) << step.length;
    EXPECT_EQ(record == nullptr, step.taken);
  }
  EXPECT_TRUE(queue.PushRefusal(7, 10, 2));
  EXPECT_TRUE(queue.PushRefusal(8, 11, 2));
  EXPECT_FALSE(queue.PushRefusal(9, 12, 2));
  ASSERT_NE(queue.PopCommand(10ms), nullptr);  // the 60 bytes
  auto fits = Record(1, 60);
  EXPECT_TRUE(queue.PushCommandWithin(fits, 2, kLimit));
  auto by_count = Record(3, 1);
  EXPECT_FALSE(queue.PushCommandWithin(by_count, 2, 0));
  std::vector<std::pair<int32_t, bool>> order;
  while (auto record = queue.PopCommand(10ms))
    order.emplace_back(record->request_tag, record->refused);
  EXPECT_EQ(order,
            (std::vector<std::pair<int32_t, bool>>{{40, false}, {7, true}, {8, true}, {1, false}}));
  EXPECT_TRUE(queue.PushRefusal(9, 12, 2));
  auto whole = Record(2, 100);
  EXPECT_TRUE(queue.PushCommandWithin(whole, 2, 100 + kRecordOverheadBytes));
  EXPECT_EQ(queue.ClearQueue(), 2u);
}

TEST(CommandQueue, HandsOutOldestFirstAndNothingWhenIdle) {
  CommandQueue queue;
  EXPECT_EQ(queue.PopCommand(10ms), nullptr);
  for (int32_t tag : {3, 1, 2}) Push(queue, Record(tag));
  for (int32_t tag : {3, 1, 2}) {
    auto record = queue.PopCommand(10ms);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->request_tag, tag);
  }
  EXPECT_EQ(queue.PopCommand(10ms), nullptr);
}

TEST(CommandQueue, KeepsEachPostersOrderAndLosesNothing) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 2000;
  CommandQueue queue;
  std::vector<int32_t> taken;
  std::thread consumer([&] {
    while (taken.size() < kThreads * kPerThread) {
      // Watching the queue before each sleep, as the worker does between close commands.
      if (auto record = queue.PopCommand(5s, 200us)) taken.push_back(record->request_tag);
    }
  });
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&queue, t] {
      for (int i = 0; i < kPerThread; ++i) Push(queue, Record(t * kPerThread + i));
    });
  }
  for (auto& poster : posters) poster.join();
  consumer.join();

  std::vector<int> next(kThreads, 0);
  for (int32_t tag : taken) {
    const int t = tag / kPerThread;
    ASSERT_EQ(tag % kPerThread, next[t]) << "poster " << t << " out of order";
    ++next[t];
  }
  EXPECT_EQ(next, std::vector<int>(kThreads, kPerThread));
  EXPECT_EQ(queue.PopCommand(0ms), nullptr);
}

TEST(CommandQueue, ClearQueueDropsCommandsAndTheirSignals) {
  CommandQueue queue;
  for (int32_t tag = 0; tag < 5; ++tag) Push(queue, Record(tag));
  EXPECT_EQ(queue.ClearQueue(), 5u);
  // With a signal left over the wait would return at once; drained, it lasts the full time.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(queue.PopCommand(200ms), nullptr);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 190ms);
  // The queue still works afterwards.
  Push(queue, Record(9));
  auto record = queue.PopCommand(0ms);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->request_tag, 9);
}

TEST(CommandQueue, ReportsADrainedBacklogOnceAndOnlyWhenEmpty) {
  CommandQueue queue;
  for (int32_t tag = 0; tag < 4; ++tag) Push(queue, Record(tag));
  EXPECT_FALSE(queue.DrainedAfterBacklog(4));  // still full
  for (int i = 0; i < 3; ++i) ASSERT_NE(queue.PopCommand(0ms), nullptr);
  EXPECT_FALSE(queue.DrainedAfterBacklog(4));  // one left
  ASSERT_NE(queue.PopCommand(0ms), nullptr);
  EXPECT_FALSE(queue.DrainedAfterBacklog(5));  // a backlog shorter than asked for
  EXPECT_TRUE(queue.DrainedAfterBacklog(4));
  EXPECT_FALSE(queue.DrainedAfterBacklog(4));  // reported once
  // A short run after the report starts counting afresh.
  Push(queue, Record(7));
  ASSERT_NE(queue.PopCommand(0ms), nullptr);
  EXPECT_FALSE(queue.DrainedAfterBacklog(4));
}

}  // namespace
}  // namespace mox
