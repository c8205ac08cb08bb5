// Root of the log classes: an abstract line sink with a lock of its own.
#pragma once

#include <mutex>
#include <string_view>

namespace mox {

// Thread-safe: every write operation of a derived log holds lock_ for its whole file access, so
// lines of one log object never interleave. Must not be destroyed while a write is running.
class CustomLog {
 public:
  CustomLog() = default;
  CustomLog(const CustomLog&) = delete;
  CustomLog& operator=(const CustomLog&) = delete;

  // Writes one line; true when it was written.
  virtual bool Write(std::string_view text) = 0;

  virtual ~CustomLog();

 protected:
  // Holds lock_ until the returned guard goes out of scope.
  [[nodiscard]] std::unique_lock<std::mutex> Lock() { return std::unique_lock(lock_); }

 private:
  std::mutex lock_;
};

}  // namespace mox
