// A mutex for globals that must be usable before any dynamic initialiser of the library has run
// (constinit). std::mutex is not constant-initialisable with mingw-w64's thread library, so
// Windows gets a slim reader/writer lock, which is. Works with std::lock_guard and
// std::unique_lock.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <mutex>
#endif

namespace mox::platform {

class StaticMutex {
 public:
  constexpr StaticMutex() = default;
  StaticMutex(const StaticMutex&) = delete;
  StaticMutex& operator=(const StaticMutex&) = delete;

#if defined(_WIN32)
  void lock() noexcept {
    AcquireSRWLockExclusive(&lock_);
  }
  void unlock() noexcept {
    ReleaseSRWLockExclusive(&lock_);
  }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
#else
  void lock() {
    mutex_.lock();
  }
  void unlock() {
    mutex_.unlock();
  }

 private:
  std::mutex mutex_;
#endif
};

}  // namespace mox::platform
