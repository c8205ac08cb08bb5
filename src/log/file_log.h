// A log that appends lines to one named file, opening and closing it for every line.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "log/custom_log.h"
#include "platform/local_time.h"

namespace mox {

class FileLog : public CustomLog {
 public:
  // Where the log takes the current local date and time from.
  using Clock = std::function<platform::LocalDateTime()>;

  // The time of day at the start of every time-stamped record.
  static constexpr std::string_view kTimeStampPattern = "HH:NN:SS.ZZZ ";
  // A record is written from a fixed buffer of this size, its last byte being a terminating zero,
  // so at most kRecordBufferSize - 1 bytes of a record reach the file.
  static constexpr std::size_t kRecordBufferSize = 8192;

  explicit FileLog(std::string file_name);

  // A time-stamped line into the current file.
  bool Write(std::string_view text) override EXCLUDES(lock_);

 protected:
  // The name of the file the next line goes to; empty means "write nothing". Called by the write
  // operations with the lock held; may throw, and the error then passes out of the write
  // operation (after the lock is released).
  virtual std::string GetFileName() REQUIRES(lock_);

 public:
  // Replaces the clock (platform::NowLocal by default). Only while no write is running.
  void SetClock(Clock clock) { clock_ = std::move(clock); }

 protected:
  platform::LocalDateTime Now() const { return clock_(); }

  std::string file_name_ GUARDED_BY(lock_);  // GetFileName rewrites it

 private:
  Clock clock_;
};

}  // namespace mox
