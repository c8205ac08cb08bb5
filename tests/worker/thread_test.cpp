#include "worker/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace mox {
namespace {

// Counts its passes until the stop flag is set; the counters live outside so they can be read
// after the object is gone.
struct Counters {
  std::atomic<int> runs{0};
  std::atomic<int> passes{0};
  std::atomic<bool> ended{false};
};

class CountingThread final : public TThread {
 public:
  explicit CountingThread(Counters& counters) : counters_(counters) {}
  ~CountingThread() override {
    Terminate();
    WaitFor();
  }

 protected:
  void Execute() override {
    ++counters_.runs;
    while (!Terminated()) {
      ++counters_.passes;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    counters_.ended = true;
  }

 private:
  Counters& counters_;
};

void WaitForPasses(const Counters& counters) {
  while (counters.passes == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(Thread, NeverResumedEndsWithoutExecute) {
  Counters counters;
  {
    CountingThread thread(counters);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(thread.Terminated());
  }
  EXPECT_EQ(counters.runs, 0);
}

TEST(Thread, RunsOnceAfterResumeAndEndsOnTheStopFlag) {
  Counters counters;
  CountingThread thread(counters);
  thread.Resume();
  thread.Resume();
  WaitForPasses(counters);
  EXPECT_FALSE(counters.ended);
  thread.Terminate();
  thread.WaitFor();
  EXPECT_TRUE(counters.ended);
  EXPECT_EQ(counters.runs, 1);
}

// Leaves the stopping to ~TThread; its body uses nothing of its own object but the base.
Counters gBareCounters;
class BareThread final : public TThread {
 protected:
  void Execute() override {
    while (!Terminated()) {
      ++gBareCounters.passes;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    gBareCounters.ended = true;
  }
};

TEST(Thread, DestructionStopsARunningThread) {
  {
    BareThread thread;
    thread.Resume();
    WaitForPasses(gBareCounters);
  }
  EXPECT_TRUE(gBareCounters.ended);
}

}  // namespace
}  // namespace mox
