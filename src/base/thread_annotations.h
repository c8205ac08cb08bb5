// Clang's thread-safety annotations, checked by -Wthread-safety on the clang builds (empty for
// other compilers), and the mutex types that carry them: the standard library's do not.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>

#if defined(__clang__)
#define MOX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define MOX_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) MOX_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY MOX_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) MOX_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) MOX_THREAD_ANNOTATION(pt_guarded_by(x))
#define REQUIRES(...) MOX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define REQUIRES_SHARED(...) MOX_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))
#define ACQUIRE(...) MOX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define ACQUIRE_SHARED(...) MOX_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
#define RELEASE(...) MOX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define RELEASE_SHARED(...) MOX_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
#define RELEASE_GENERIC(...) MOX_THREAD_ANNOTATION(release_generic_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) MOX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define EXCLUDES(...) MOX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS MOX_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace mox {

class CAPABILITY("mutex") Mutex {
 public:
  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }

 private:
  friend class CondVar;
  std::mutex mutex_;
};

// A condition variable waited on with a Mutex held. An object of its own, never a shared static:
// a thread that a process exit ends while it waits leaves the variable's internals locked, and
// only code that destroys the variable afterwards would wait for them.
class CondVar {
 public:
  // Releases `mutex`, waits for a notification, `deadline` or a spurious wake, and holds `mutex`
  // again; false once the deadline has passed.
  bool WaitUntil(Mutex& mutex, std::chrono::steady_clock::time_point deadline) REQUIRES(mutex) {
    std::unique_lock lock(mutex.mutex_, std::adopt_lock);
    const bool notified = variable_.wait_until(lock, deadline) == std::cv_status::no_timeout;
    lock.release();  // the caller's hold goes on
    return notified;
  }
  // Releases `mutex`, waits for a notification or a spurious wake, and holds `mutex` again.
  void Wait(Mutex& mutex) REQUIRES(mutex) {
    std::unique_lock lock(mutex.mutex_, std::adopt_lock);
    variable_.wait(lock);
    lock.release();
  }
  void NotifyOne() noexcept { variable_.notify_one(); }
  void NotifyAll() noexcept { variable_.notify_all(); }

 private:
  std::condition_variable variable_;
};

// Holds a Mutex for its scope.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~MutexLock() RELEASE() { mutex_.Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

// A shared mutex whose exclusive hold can be waited for with a time limit.
class CAPABILITY("shared mutex") SharedTimedMutex {
 public:
  void Lock() ACQUIRE() { mutex_.lock(); }
  bool TryLockFor(std::chrono::milliseconds wait) TRY_ACQUIRE(true) {
    return mutex_.try_lock_for(wait);
  }
  void Unlock() RELEASE() { mutex_.unlock(); }
  void LockShared() ACQUIRE_SHARED() { mutex_.lock_shared(); }
  void UnlockShared() RELEASE_SHARED() { mutex_.unlock_shared(); }

 private:
  std::shared_timed_mutex mutex_;
};

// Holds a SharedTimedMutex exclusively for its scope.
class SCOPED_CAPABILITY ExclusiveLock {
 public:
  explicit ExclusiveLock(SharedTimedMutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~ExclusiveLock() RELEASE() { mutex_.Unlock(); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
  SharedTimedMutex& mutex_;
};

// Holds a SharedTimedMutex shared for its scope.
class SCOPED_CAPABILITY SharedLock {
 public:
  explicit SharedLock(SharedTimedMutex& mutex) ACQUIRE_SHARED(mutex) : mutex_(mutex) {
    mutex_.LockShared();
  }
  ~SharedLock() RELEASE_GENERIC() { mutex_.UnlockShared(); }
  SharedLock(const SharedLock&) = delete;
  SharedLock& operator=(const SharedLock&) = delete;

 private:
  SharedTimedMutex& mutex_;
};

}  // namespace mox
