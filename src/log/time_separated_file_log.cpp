#include "log/time_separated_file_log.h"

#include <stdexcept>

#include "log/date_time_pattern.h"
#include "platform/file_system.h"
#include "platform/path.h"

namespace mox {

tTimeSeparatedFileLog::tTimeSeparatedFileLog(std::string file_name_pattern)
    : tFileLog(std::string()), FFileNamePattern(std::move(file_name_pattern)) {}

std::string tTimeSeparatedFileLog::GetFileName() {
  std::string name = FormatDateTime(FFileNamePattern, Now());
  const std::string directory = platform::DirectoryPart(name);
  if (directory.empty()) {
    throw std::runtime_error("log file name without directory: " + name);
  }
  if (platform::CreateDirectories(directory)) {
    FFileName = std::move(name);
  } else {
    FFileName.clear();
  }
  return FFileName;
}

}  // namespace mox
