#include "log/time_separated_file_log.h"

#include <stdexcept>

#include "log/date_time_pattern.h"
#include "platform/file_system.h"

namespace mox {

TimeSeparatedFileLog::TimeSeparatedFileLog(std::string file_name_pattern, std::string top_folder)
    : FileLog(std::string(), std::move(top_folder), true),
      file_name_pattern_(std::move(file_name_pattern)) {}

const std::string& TimeSeparatedFileLog::GetFileName() {
  const std::string& name = file_name_pattern_.Format(Now());
  if (name != file_name_ || name.empty()) {
    if (platform::DirectoryPart(name).empty()) {
      throw std::runtime_error("log file name without directory: " + name);
    }
    file_name_ = name;
  }
  return file_name_;
}

}  // namespace mox
