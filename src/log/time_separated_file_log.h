// A file log whose file name, directory included, comes from a date-time pattern evaluated at each
// line, so that the file and its directory change with the clock. A missing directory is created
// when the file is opened.
#pragma once

#include <string>

#include "log/date_time_pattern.h"
#include "log/file_log.h"

namespace mox {

class TimeSeparatedFileLog : public FileLog {
 public:
  // `file_name_pattern` uses the language of FormatDateTime and must yield a full file path that
  // begins with `top_folder` (see FileLog: no symbolic link below it is followed).
  TimeSeparatedFileLog(std::string file_name_pattern, std::string top_folder);

 protected:
  // The pattern formatted with the current time (again only when a field it shows has changed).
  // Throws std::runtime_error when the name has no directory part.
  const std::string& GetFileName() override REQUIRES(lock_);

 private:
  CachedDateTimeFormat file_name_pattern_ GUARDED_BY(lock_);
};

}  // namespace mox
