#include "log/time_separated_file_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "log/date_time_pattern.h"
#include "log_test_support.h"
#include "support/temp_dir.h"

namespace mox {
namespace {

using test::At;
using test::ReadFile;

class TimeSeparatedFileLogTest : public ::testing::Test {
 protected:
  TimeSeparatedFileLogTest()
      : logs_(temp_.File("Logs")),
        log_(QuotePatternLiteral(logs_ + "/") + "YYYY\"_\"MM\"_\"DD\"/\"HH\"_m.log\"",
             temp_.path().string()) {}

  test::TempDir temp_;
  std::string logs_;
  TimeSeparatedFileLog log_;
};

TEST_F(TimeSeparatedFileLogTest, CreatesTheDirectoryOfTheFormattedName) {
  log_.SetClock(test::FixedClock(At(2024, 3, 1, 9, 5, 7, 8)));
  ASSERT_TRUE(log_.Write("first"));
  EXPECT_EQ(ReadFile(logs_ + "/2024_03_01/09_m.log"), "09:05:07.008 first\r\n");
}

TEST_F(TimeSeparatedFileLogTest, RecreatesADeletedDirectory) {
  log_.SetClock(test::FixedClock(At(2024, 3, 1, 9, 5, 7, 8)));
  ASSERT_TRUE(log_.Write("before"));
  std::filesystem::remove_all(logs_);
  ASSERT_TRUE(log_.Write("after"));
  EXPECT_EQ(ReadFile(logs_ + "/2024_03_01/09_m.log"), "09:05:07.008 after\r\n");
}

TEST_F(TimeSeparatedFileLogTest, TurnOfTheHourAndDayGivesNewFiles) {
  // Each line reads the clock twice: first for the file name, then for the time stamp.
  log_.SetClock(test::SequenceClock({
      At(2024, 2, 29, 22, 59, 59, 999), At(2024, 2, 29, 22, 59, 59, 999),  // hour 22
      At(2024, 2, 29, 23, 59, 59, 999), At(2024, 3, 1, 0, 0, 0, 0),        // name then stamp
      At(2024, 3, 1, 0, 0, 0, 1), At(2024, 3, 1, 0, 0, 0, 1),              // new day
  }));
  ASSERT_TRUE(log_.Write("one"));
  ASSERT_TRUE(log_.Write("two"));
  ASSERT_TRUE(log_.Write("three"));
  EXPECT_EQ(ReadFile(logs_ + "/2024_02_29/22_m.log"), "22:59:59.999 one\r\n");
  EXPECT_EQ(ReadFile(logs_ + "/2024_02_29/23_m.log"), "00:00:00.000 two\r\n");
  EXPECT_EQ(ReadFile(logs_ + "/2024_03_01/00_m.log"), "00:00:00.001 three\r\n");
}

TEST_F(TimeSeparatedFileLogTest, DirectoryThatCannotBeCreatedIsRetriedAtTheNextLine) {
  log_.SetClock(test::FixedClock(At(2024, 3, 1, 9, 5, 7, 8)));
  test::WriteFile(logs_, "a file where the directory should be");
  EXPECT_FALSE(log_.Write("lost"));
  EXPECT_EQ(ReadFile(logs_), "a file where the directory should be");

  std::filesystem::remove(logs_);
  ASSERT_TRUE(log_.Write("kept"));
  EXPECT_EQ(ReadFile(logs_ + "/2024_03_01/09_m.log"), "09:05:07.008 kept\r\n");
}

TEST(TimeSeparatedFileLogErrorTest, NameWithoutDirectoryRaisesAndReleasesTheLock) {
  TimeSeparatedFileLog log("\"x_\"HH\".log\"", "");
  EXPECT_THROW(log.Write("x"), std::runtime_error);
  // A second call would hang if the first had kept the lock.
  EXPECT_THROW(log.Write("x"), std::runtime_error);
}

}  // namespace
}  // namespace mox
