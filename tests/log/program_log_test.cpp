#include "log/program_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "log/uni_log.h"
#include "log_test_support.h"
#include "platform/process.h"

namespace mox {
namespace {

using test::At;
using test::ReadFile;

using ProgramLog = test::ProgramLogTest;

TEST_F(ProgramLog, NoLogBeforeCreationAndAfterFree) {
  EXPECT_FALSE(WriteLog("before"));
  CreateUniLog();
  ASSERT_TRUE(gUniLog);
  FreeUniLog();
  EXPECT_FALSE(gUniLog);
  EXPECT_FALSE(WriteLog("after"));
  // The names outlive the log until they are cleared explicitly.
  EXPECT_EQ(ModuleName(), kModuleName);
  ClearUniLogNames();
  EXPECT_EQ(ModuleName(), "");
  EXPECT_EQ(HostExeName(), "");
  EXPECT_FALSE(std::filesystem::exists(host_dir() + "Logs"));
}

TEST_F(ProgramLog, LinesGoToTheHourlyFileUnderTheHostDirectory) {
  // Blanks, bytes above 127 (on Windows characters outside its ANSI code page too) and letters
  // that are date-time tokens in the host's path.
  UseHostDirectory("Svc MM dd HH \xC3\xA9\xD0\xA5\xE4\xB8\xBB", "h\xF6st app.exe");
  CreateUniLog();
  ASSERT_TRUE(gUniLog);
  EXPECT_EQ(HostExeName(), "h\xF6st app.exe");
  EXPECT_EQ(ModuleName(), kModuleName);
  const auto when = At(2024, 3, 1, 9, 5, 7, 8);
  gUniLog->SetClock(test::FixedClock(when));
  EXPECT_TRUE(WriteLog("Init_Plugin: MoxSettingsManager"));
  EXPECT_TRUE(WriteLog("two\r\nlines"));
  EXPECT_EQ(LogFile(when), host_dir() + "Logs/2024_03_01/09_apMoxSettingsManager.so.log");
  EXPECT_EQ(ReadFile(LogFile(when)),
            "09:05:07.008 Init_Plugin: MoxSettingsManager\r\n"
            "09:05:07.008 two\r\nlines\r\n");
}

TEST_F(ProgramLog, QuotesInTheHostDirectoryAreKept) {
  UseHostDirectory("a \"quoted\" and 'single' dir");
  CreateUniLog();
  ASSERT_TRUE(gUniLog);
  const auto when = At(2017, 6, 2, 16, 24, 0, 0);
  gUniLog->SetClock(test::FixedClock(when));
  EXPECT_TRUE(WriteLog("x"));
  EXPECT_EQ(ReadFile(LogFile(when)), "16:24:00.000 x\r\n");
}

TEST_F(ProgramLog, UnwritableLogsDirectoryLosesTheLineButWriteLogSucceeds) {
  test::WriteFile(host_dir() + "Logs", "not a directory");
  CreateUniLog();
  ASSERT_TRUE(gUniLog);
  EXPECT_TRUE(WriteLog("lost"));
  EXPECT_EQ(ReadFile(host_dir() + "Logs"), "not a directory");
}

TEST_F(ProgramLog, NoModuleNameMeansNoLog) {
  platform::OverrideThisModulePathForTesting(std::string("/opt/plugins/"));
  CreateUniLog();
  EXPECT_FALSE(gUniLog);
  EXPECT_FALSE(WriteLog("x"));
}

TEST_F(ProgramLog, SecondCreationKeepsTheFirstLog) {
  CreateUniLog();
  const UniLog* first = gUniLog.get();
  ASSERT_NE(first, nullptr);
  CreateUniLog();
  EXPECT_EQ(gUniLog.get(), first);
}

TEST_F(ProgramLog, WriteLogTurnsAnErrorIntoFalse) {
  CreateUniLog();
  ASSERT_TRUE(gUniLog);
  // The replacement log's pattern has no directory part, so its writes raise.
  gUniLog = std::make_unique<UniLog>("\"x.log\"", "", "");
  EXPECT_FALSE(WriteLog("x"));
}

}  // namespace
}  // namespace mox
