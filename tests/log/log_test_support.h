// Clocks and a pretend host for the log tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/hourly_file.h"
#include "log/program_log.h"
#include "platform/clock.h"
#include "support/temp_dir.h"

namespace mox::test {

platform::LocalDateTime At(int year, int month, int day, int hour, int minute, int second,
                           int millisecond);

// A clock that always answers `when`.
HourlyFile::Clock FixedClock(platform::LocalDateTime when);

// A clock that answers `times` one after another and then keeps answering the last one.
HourlyFile::Clock SequenceClock(std::vector<platform::LocalDateTime> times);

// A host executable in a temporary folder and a library path for the program log, which it takes
// down again afterwards.
class ProgramLogTest : public ::testing::Test {
 protected:
  static constexpr const char* kModulePath = "/opt/plugins/apMoxSettingsManager.so";
  static constexpr const char* kModuleName = "apMoxSettingsManager.so";

  ProgramLogTest();
  ~ProgramLogTest() override;

  // Makes `name` (a directory under the temp folder, created here) the host's directory and
  // `exe` the host executable in it.
  void UseHostDirectory(const std::string& name, const std::string& exe = "host app.exe");

  // Opens the program log for the host executable and kModulePath.
  void OpenLog() { gProgramLog.Open(host_exe_, kModulePath); }

  // The host directory with its trailing separator.
  const std::string& host_dir() const { return host_dir_; }
  const std::string& host_exe() const { return host_exe_; }

  // The log file of `when`'s hour for this module.
  std::string LogFile(const platform::LocalDateTime& when) const;

  TempDir temp_;

 private:
  std::string host_dir_;
  std::string host_exe_;
};

}  // namespace mox::test
