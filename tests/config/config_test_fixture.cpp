#include "config_test_fixture.h"

#include <algorithm>
#include <filesystem>

#include "log/program_log.h"

namespace mox::test {

ConfigTest::ConfigTest() {
  std::filesystem::create_directory(temp_.path() / "lib");
  std::filesystem::create_directory(temp_.path() / "host");
  SetProtocol(true);
  OpenLog();
}

ConfigTest::~ConfigTest() {
  gProgramLog.Close();
  SetProtocol(true);
}

void ConfigTest::OpenLog() {
  gProgramLog.Open(temp_.File("host/host"), lib_dir() + "apMoxSettingsManager.so");
}

std::vector<std::string> ConfigTest::LogLines() const {
  const auto logs = temp_.path() / "host" / "Logs";
  std::vector<std::string> files;
  if (std::filesystem::exists(logs)) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(logs)) {
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
