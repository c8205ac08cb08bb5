#include "support/log_lines.h"

#include <algorithm>

#include "support/temp_dir.h"

namespace mox::test {

std::vector<std::string> ProgramLogLines(const std::filesystem::path& logs_folder) {
  std::vector<std::string> files;
  if (std::filesystem::exists(logs_folder)) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(logs_folder)) {
      if (entry.is_regular_file()) files.push_back(entry.path().string());
    }
  }
  // Day folders and hour files sort in time order.
  std::sort(files.begin(), files.end());
  constexpr std::size_t kTimeStampLength = 13;  // "HH:NN:SS.ZZZ "
  std::vector<std::string> lines;
  for (const auto& file : files) {
    const std::string contents = ReadFile(file);
    std::size_t start = 0;
    for (auto end = contents.find("\r\n"); end != std::string::npos;
         start = end + 2, end = contents.find("\r\n", start)) {
      const std::string line = contents.substr(start, end - start);
      lines.push_back(line.size() >= kTimeStampLength ? line.substr(kTimeStampLength) : line);
    }
    if (start < contents.size()) lines.push_back("<unterminated>" + contents.substr(start));
  }
  return lines;
}

}  // namespace mox::test
