#include "log/program_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "log_test_support.h"

namespace mox {
namespace {

using test::At;
using test::ReadFile;

using ProgramLogTest = test::ProgramLogTest;

TEST_F(ProgramLogTest, NoLogBeforeCreationAndAfterFree) {
  EXPECT_FALSE(WriteLog("before"));
  OpenLog();
  ASSERT_TRUE(gProgramLog.IsOpen());
  EXPECT_EQ(gProgramLog.module_name(), kModuleName);
  gProgramLog.Close();
  EXPECT_FALSE(gProgramLog.IsOpen());
  EXPECT_FALSE(WriteLog("after"));
  // Closing forgets the names with the sinks.
  EXPECT_EQ(gProgramLog.module_name(), "");
  EXPECT_EQ(gProgramLog.host_exe_name(), "");
  EXPECT_FALSE(std::filesystem::exists(host_dir() + "Logs"));
}

TEST_F(ProgramLogTest, LinesGoToTheHourlyFileUnderTheHostDirectory) {
  // Blanks, bytes above 127 (on Windows characters outside its ANSI code page too) and letters
  // that are date-time tokens in the host's path.
  UseHostDirectory("Svc MM dd HH \xC3\xA9\xD0\xA5\xE4\xB8\xBB", "h\xF6st app.exe");
  OpenLog();
  ASSERT_TRUE(gProgramLog.IsOpen());
  EXPECT_EQ(gProgramLog.host_exe_name(), "h\xF6st app.exe");
  EXPECT_EQ(gProgramLog.module_name(), kModuleName);
  const auto when = At(2024, 3, 1, 9, 5, 7, 8);
  gProgramLog.SetClock(test::FixedClock(when));
  EXPECT_TRUE(WriteLog("Init_Plugin: MoxSettingsManager"));
  EXPECT_TRUE(WriteLog("two\r\nlines"));
  EXPECT_EQ(LogFile(when), host_dir() + "Logs/2024_03_01/09_apMoxSettingsManager.so.log");
  EXPECT_EQ(ReadFile(LogFile(when)),
            "09:05:07.008 Init_Plugin: MoxSettingsManager\r\n"
            "09:05:07.008 two\r\nlines\r\n");
}

TEST_F(ProgramLogTest, QuotesInTheHostDirectoryAreKept) {
  UseHostDirectory("a \"quoted\" and 'single' dir");
  OpenLog();
  ASSERT_TRUE(gProgramLog.IsOpen());
  const auto when = At(2017, 6, 2, 16, 24, 0, 0);
  gProgramLog.SetClock(test::FixedClock(when));
  EXPECT_TRUE(WriteLog("x"));
  EXPECT_EQ(ReadFile(LogFile(when)), "16:24:00.000 x\r\n");
}

TEST_F(ProgramLogTest, UnwritableLogsDirectoryLosesTheLineButWriteLogSucceeds) {
  test::WriteFile(host_dir() + "Logs", "not a directory");
  OpenLog();
  ASSERT_TRUE(gProgramLog.IsOpen());
  EXPECT_TRUE(WriteLog("lost"));
  EXPECT_EQ(ReadFile(host_dir() + "Logs"), "not a directory");
}

TEST_F(ProgramLogTest, NoModuleNameMeansNoLog) {
  gProgramLog.Open(host_exe(), "/opt/plugins/");
  EXPECT_FALSE(gProgramLog.IsOpen());
  EXPECT_FALSE(WriteLog("x"));
}

TEST_F(ProgramLogTest, SecondCreationKeepsTheFirstLog) {
  OpenLog();
  ASSERT_TRUE(gProgramLog.IsOpen());
  const auto when = At(2024, 3, 1, 9, 5, 7, 8);
  gProgramLog.SetClock(test::FixedClock(when));
  const std::string first_file = LogFile(when);
  // A second Open that opened anew would write under the new host folder.
  UseHostDirectory("other");
  OpenLog();
  EXPECT_TRUE(WriteLog("x"));
  EXPECT_EQ(ReadFile(first_file), "09:05:07.008 x\r\n");
}

TEST_F(ProgramLogTest, WriteLogTurnsAnErrorIntoFalse) {
  // A pattern without directory part: every write raises.
  gProgramLog.Open("\"x.log\"", "", "", "");
  EXPECT_FALSE(WriteLog("x"));
  // A second call would hang if the first had kept the lock.
  EXPECT_FALSE(WriteLog("x"));
}

}  // namespace
}  // namespace mox
