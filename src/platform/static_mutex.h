// A mutex for globals that must be usable before any dynamic initialiser of the library has run
// (constinit). std::mutex is not constant-initialisable with mingw-w64's thread library, so
// Windows gets a slim reader/writer lock, which is. Works with std::lock_guard and
// std::unique_lock; StaticMutexLock holds it the way the thread-safety analysis follows.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <mutex>
#endif

#include "base/thread_annotations.h"

namespace mox::platform {

class CAPABILITY("mutex") StaticMutex {
 public:
  constexpr StaticMutex() = default;
  StaticMutex(const StaticMutex&) = delete;
  StaticMutex& operator=(const StaticMutex&) = delete;

#if defined(_WIN32)
  void lock() noexcept ACQUIRE() {
    AcquireSRWLockExclusive(&lock_);
  }
  void unlock() noexcept RELEASE() {
    ReleaseSRWLockExclusive(&lock_);
  }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
#else
  void lock() ACQUIRE() {
    mutex_.lock();
  }
  void unlock() RELEASE() {
    mutex_.unlock();
  }

 private:
  std::mutex mutex_;
#endif
};

// Holds a StaticMutex for its scope.
class SCOPED_CAPABILITY StaticMutexLock {
 public:
  explicit StaticMutexLock(StaticMutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~StaticMutexLock() RELEASE() { mutex_.unlock(); }
  StaticMutexLock(const StaticMutexLock&) = delete;
  StaticMutexLock& operator=(const StaticMutexLock&) = delete;

 private:
  StaticMutex& mutex_;
};

}  // namespace mox::platform
