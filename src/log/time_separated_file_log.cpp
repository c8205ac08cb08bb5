#include "log/time_separated_file_log.h"

#include <stdexcept>

#include "log/date_time_pattern.h"
#include "platform/file_system.h"
#include "platform/path.h"

namespace mox {

TimeSeparatedFileLog::TimeSeparatedFileLog(std::string file_name_pattern)
    : FileLog(std::string()), file_name_pattern_(std::move(file_name_pattern)) {}

std::string TimeSeparatedFileLog::GetFileName() {
  std::string name = FormatDateTime(file_name_pattern_, Now());
  const std::string directory = platform::DirectoryPart(name);
  if (directory.empty()) {
    throw std::runtime_error("log file name without directory: " + name);
  }
  if (platform::CreateDirectories(directory)) {
    file_name_ = std::move(name);
  } else {
    file_name_.clear();
  }
  return file_name_;
}

}  // namespace mox
