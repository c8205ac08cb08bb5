// Root of the log classes: an abstract line sink with a lock of its own.
#pragma once

#include <string_view>

#include "base/thread_annotations.h"

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
  // Held by each write for its whole file access.
  Mutex lock_;
};

}  // namespace mox
