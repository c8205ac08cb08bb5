// Thread: a thread object whose body runs only after an explicit Resume, with a stop flag that
// the owner sets and the body reads.
//
// Thread safety: Resume, Terminate and Terminated may be called from any thread; construction,
// WaitFor, Abandon and destruction from the owning thread.
#pragma once

#include <atomic>
#include <chrono>

#include "base/thread_annotations.h"
#include "platform/thread.h"

namespace mox {

class Thread {
 public:
  // Starts the system thread held at a gate: Execute runs only after Resume. Throws
  // std::system_error when the thread cannot be created.
  Thread();
  // Sets the stop flag and waits for the thread to end (see WaitFor).
  virtual ~Thread();

  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Lets the thread run Execute. Does nothing after the first call or once WaitFor has begun.
  void Resume() EXCLUDES(gate_lock_);
  // Sets the stop flag; Execute decides when to look at it.
  void Terminate() noexcept;
  bool Terminated() const noexcept { return terminated_.load(std::memory_order_acquire); }
  // Waits until the thread has ended. A thread never resumed ends at once without running
  // Execute. A derived class whose Execute uses its own members calls Terminate and WaitFor in
  // its destructor, because those members are gone by the time ~Thread runs.
  void WaitFor() noexcept EXCLUDES(gate_lock_);
  // The same, waiting at most `timeout`: true when the thread has ended (it is then joined).
  bool WaitFor(std::chrono::milliseconds timeout) noexcept EXCLUDES(gate_lock_);
  // Lets a thread that does not end go on alone: it is detached, and once its Execute returns it
  // runs OnAbandonedEnd. The owner must then never destroy the object (the thread still uses it).
  // False when the thread has ended after all; the owner then goes on as usual.
  bool Abandon() noexcept EXCLUDES(gate_lock_);

 protected:
  // The thread body. An exception that leaves it ends the thread quietly; report failures inside.
  virtual void Execute() = 0;
  // Runs on an abandoned thread after Execute, in place of the owner's clean-up. It may destroy
  // the object: nothing touches it afterwards.
  virtual void OnAbandonedEnd() noexcept {}

 private:
  void Run() noexcept EXCLUDES(gate_lock_);

  Mutex gate_lock_;
  CondVar gate_;   // Resume, or WaitFor before Resume
  CondVar ended_;  // the body has returned
  bool resumed_ GUARDED_BY(gate_lock_) = false;
  bool skip_execute_ GUARDED_BY(gate_lock_) = false;  // never run Execute
  bool body_done_ GUARDED_BY(gate_lock_) = false;
  bool given_up_ GUARDED_BY(gate_lock_) = false;  // abandoned by its owner
  std::atomic<bool> terminated_{false};
  // Last, so that everything Run reads exists when it starts. It keeps the library loaded while
  // it runs (see ModuleThread).
  platform::ModuleThread thread_;
};

}  // namespace mox
