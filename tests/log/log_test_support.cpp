#include "log_test_support.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "log/program_log.h"

namespace mox::test {

platform::LocalDateTime At(int year, int month, int day, int hour, int minute, int second,
                           int millisecond) {
  return {year, month, day, hour, minute, second, millisecond};
}

HourlyFile::Clock FixedClock(platform::LocalDateTime when) {
  return [when] { return when; };
}

HourlyFile::Clock SequenceClock(std::vector<platform::LocalDateTime> times) {
  auto state = std::make_shared<std::pair<std::vector<platform::LocalDateTime>, std::size_t>>(
      std::move(times), 0);
  return [state] {
    auto& [list, next] = *state;
    const auto& when = list.at(next < list.size() ? next : list.size() - 1);
    ++next;
    return when;
  };
}

ProgramLogTest::ProgramLogTest() {
  UseHostDirectory("svc");
}

ProgramLogTest::~ProgramLogTest() {
  gProgramLog.Close();
  gProgramLog.SetClock(platform::NowLocal);
}

void ProgramLogTest::UseHostDirectory(const std::string& name, const std::string& exe) {
  std::filesystem::create_directories(temp_.path() / PathOf(name));
  host_dir_ = (temp_.path() / PathOf(name)).string() + "/";
  host_exe_ = host_dir_ + exe;
}

std::string ProgramLogTest::LogFile(const platform::LocalDateTime& when) const {
  char day[32];
  std::snprintf(day, sizeof day, "%04d_%02d_%02d/%02d_", when.year, when.month, when.day,
                when.hour);
  return host_dir_ + "Logs/" + day + kModuleName + ".log";
}

}  // namespace mox::test
