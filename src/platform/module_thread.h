// A thread that keeps the module containing this code loaded for as long as it runs.
//
// On Windows a DLL may be unloaded while one of its threads still runs its code; the thread then
// holds a reference to the DLL and drops it only as it ends (FreeLibraryAndExitThread), so a host
// that frees the DLL early never pulls the code from under it. Elsewhere it is a plain
// std::thread.
#pragma once

#include <functional>
#include <memory>

namespace mox::platform {

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

}  // namespace mox::platform
