#include "worker/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace mox {
namespace {

// What the thread bodies below did; kept outside the thread objects so that it can be read after
// they are gone.
struct Counters {
  std::atomic<int> runs{0};
  std::atomic<int> passes{0};
  std::atomic<bool> ended{false};
};
Counters* gCounters = nullptr;

// Loops until the stop flag is set. It uses nothing of its own object but the base, so it may be
// left to ~Thread to stop, once Execute has begun.
class CountingThread final : public Thread {
 protected:
  void Execute() override {
    ++gCounters->runs;
    while (!Terminated()) {
      ++gCounters->passes;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    gCounters->ended = true;
  }
};

class ThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { gCounters = &counters; }
  void TearDown() override { gCounters = nullptr; }

  void WaitForPasses() {
    while (counters.passes == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  Counters counters;
};

TEST_F(ThreadTest, NeverResumedEndsWithoutExecute) {
  {
    CountingThread thread;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(thread.Terminated());
  }
  EXPECT_EQ(counters.runs, 0);
}

TEST_F(ThreadTest, RunsOnceAfterResumeAndEndsOnTheStopFlag) {
  CountingThread thread;
  thread.Resume();
  thread.Resume();
  WaitForPasses();
  EXPECT_FALSE(counters.ended);
  thread.Terminate();
  thread.WaitFor();
  EXPECT_TRUE(counters.ended);
  EXPECT_EQ(counters.runs, 1);
}

TEST_F(ThreadTest, DestructionStopsARunningThread) {
  {
    CountingThread thread;
    thread.Resume();
    WaitForPasses();
  }
  EXPECT_TRUE(counters.ended);
}

}  // namespace
}  // namespace mox
