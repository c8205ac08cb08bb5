#include "config_test_fixture.h"

#include <filesystem>

#include "log/program_log.h"
#include "support/log_lines.h"

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
  return ProgramLogLines(temp_.path() / "host" / "Logs");
}

}  // namespace mox::test
