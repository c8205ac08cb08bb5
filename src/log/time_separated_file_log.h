// A file log whose file name, directory included, comes from a date-time pattern evaluated at each
// line, so that the file and its directory change with the clock.
#pragma once

#include <string>

#include "log/file_log.h"

namespace mox {

class TimeSeparatedFileLog : public FileLog {
 public:
  // `file_name_pattern` uses the language of FormatDateTime and must yield a full file path.
  explicit TimeSeparatedFileLog(std::string file_name_pattern);

 protected:
  // Formats the pattern with the current time and creates the file's directory when missing.
  // Empty when the directory cannot be created; throws std::runtime_error when the name has no
  // directory part.
  std::string GetFileName() override REQUIRES(lock_);

 private:
  std::string file_name_pattern_;
};

}  // namespace mox
