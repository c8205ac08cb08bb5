// Threads: one that keeps this module loaded while it runs, and the processor hint for a thread
// that spins.
#pragma once

#include <functional>
#include <memory>

namespace mox::platform {

// A thread that keeps the module containing this code loaded for as long as it runs.
//
// On Windows a DLL may be unloaded while one of its threads still runs its code; the thread then
// holds a reference to the DLL and drops it only as it ends (FreeLibraryAndExitThread), so a host
// that frees the DLL early never pulls the code from under it. Elsewhere it is a plain
// std::thread.
class ModuleThread {
 public:
  ModuleThread() = default;
  // Starts `body` on a new thread. Throws std::system_error when the thread cannot be created.
  explicit ModuleThread(std::function<void()> body);
  // The thread must have been joined or detached.
  ~ModuleThread();
  ModuleThread(ModuleThread&&) noexcept;
  ModuleThread& operator=(ModuleThread&&) noexcept;

  bool joinable() const noexcept;
  // Waits until the thread has ended.
  void join();
  // Lets the thread go on alone.
  void detach();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A hint to the processor that this thread spins on a memory location it waits to see change: the
// core then runs a sibling hardware thread, or saves power, for the few cycles the loop waits.
inline void CpuRelax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__) || defined(__arm__)
  __asm__ __volatile__("yield");
#endif
}

}  // namespace mox::platform
