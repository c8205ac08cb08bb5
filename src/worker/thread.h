// TThread: a thread object whose body runs only after an explicit Resume, with a stop flag that
// the owner sets and the body reads.
//
// Thread safety: Resume, Terminate and Terminated may be called from any thread; construction,
// WaitFor and destruction from the owning thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace mox {

class TThread {
 public:
  // Starts the system thread held at a gate: Execute runs only after Resume. Throws
  // std::system_error when the thread cannot be created.
  TThread();
  // Sets the stop flag and waits for the thread to end (see WaitFor).
  virtual ~TThread();

  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Lets the thread run Execute. Does nothing after the first call or once WaitFor has begun.
  void Resume();
  // Sets the stop flag; Execute decides when to look at it.
  void Terminate() noexcept;
  bool Terminated() const noexcept { return terminated_.load(std::memory_order_acquire); }
  // Waits until the thread has ended. A thread never resumed ends at once without running
  // Execute. A derived class whose Execute uses its own members calls Terminate and WaitFor in
  // its destructor, because those members are gone by the time ~TThread runs.
  void WaitFor() noexcept;

 protected:
  // The thread body. An exception that leaves it ends the thread quietly; report failures inside.
  virtual void Execute() = 0;

 private:
  void Run() noexcept;

  std::mutex gate_lock_;
  std::condition_variable gate_;
  bool resumed_ = false;    // guarded by gate_lock_
  bool abandoned_ = false;  // guarded by gate_lock_: never run Execute
  std::atomic<bool> terminated_{false};
  std::thread thread_;  // last, so that everything Run reads exists when it starts
};

}  // namespace mox
