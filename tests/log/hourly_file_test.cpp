#include "log/hourly_file.h"

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

constexpr std::size_t kStampSize = 13;  // "HH:NN:SS.ZZZ "

// One file in the temporary folder, 16_x.log at the clock's hour.
class HourlyFileRecordTest : public ::testing::Test {
 protected:
  HourlyFileRecordTest()
      : file_(temp_.File("16_x.log")),
        log_(QuotePatternLiteral(temp_.path().string() + "/") + "HH\"_x.log\"",
             temp_.path().string()) {}

  test::TempDir temp_;
  std::string file_;
  HourlyFile log_;
  const HourlyFile::Clock clock_ = test::FixedClock(test::At(2017, 6, 2, 16, 5, 9, 42));
};

TEST_F(HourlyFileRecordTest, RecordLayouts) {
  EXPECT_TRUE(log_.Write("Finalize_Plugin", clock_));
  EXPECT_TRUE(log_.Write("", clock_));
  // Line ends inside a text are kept: only the first line carries the stamp.
  EXPECT_TRUE(log_.Write("a\r\nb\nc", clock_));
  EXPECT_EQ(ReadFile(file_),
            "16:05:09.042 Finalize_Plugin\r\n"
            "16:05:09.042 \r\n"
            "16:05:09.042 a\r\nb\nc\r\n");
}

TEST_F(HourlyFileRecordTest, AppendsAfterTheLastByteOfAnExistingFile) {
  test::WriteFile(file_, "old contents without line end");
  EXPECT_TRUE(log_.Write("one", clock_));
  EXPECT_TRUE(log_.Write("two", clock_));
  EXPECT_EQ(ReadFile(file_),
            "old contents without line end16:05:09.042 one\r\n16:05:09.042 two\r\n");
}

// A record is at most 8191 bytes; a longer one loses the end of its text, never its CR LF, so
// the record after it starts a line of its own.
TEST_F(HourlyFileRecordTest, LongRecordIsCutInItsTextAndKeepsItsLineEnd) {
  std::string text(10000, 'x');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  ASSERT_TRUE(log_.Write(text, clock_));
  ASSERT_TRUE(log_.Write("next", clock_));
  EXPECT_EQ(ReadFile(file_),
            "16:05:09.042 " + text.substr(0, 8191 - kStampSize - 2) + "\r\n16:05:09.042 next\r\n");

  const std::string fits(8191 - kStampSize - 2, 'f');
  for (const std::string& line : {fits, fits + "g"}) {
    std::filesystem::remove(file_);
    ASSERT_TRUE(log_.Write(line, clock_));
    EXPECT_EQ(ReadFile(file_), "16:05:09.042 " + fits + "\r\n");
  }
}

class HourlyFileTest : public ::testing::Test {
 protected:
  HourlyFileTest()
      : logs_(temp_.File("Logs")),
        log_(QuotePatternLiteral(logs_ + "/") + "YYYY\"_\"MM\"_\"DD\"/\"HH\"_m.log\"",
             temp_.path().string()) {}

  test::TempDir temp_;
  std::string logs_;
  HourlyFile log_;
  const HourlyFile::Clock nine_ = test::FixedClock(At(2024, 3, 1, 9, 5, 7, 8));
};

TEST_F(HourlyFileTest, CreatesTheDirectoryOfTheFormattedName) {
  ASSERT_TRUE(log_.Write("first", nine_));
  EXPECT_EQ(ReadFile(logs_ + "/2024_03_01/09_m.log"), "09:05:07.008 first\r\n");
}

TEST_F(HourlyFileTest, RecreatesADeletedDirectory) {
  ASSERT_TRUE(log_.Write("before", nine_));
  std::filesystem::remove_all(logs_);
  ASSERT_TRUE(log_.Write("after", nine_));
  EXPECT_EQ(ReadFile(logs_ + "/2024_03_01/09_m.log"), "09:05:07.008 after\r\n");
}

TEST_F(HourlyFileTest, TurnOfTheHourAndDayGivesNewFiles) {
  // Each line reads the clock twice: first for the file name, then for the time stamp.
  const auto clock = test::SequenceClock({
      At(2024, 2, 29, 22, 59, 59, 999), At(2024, 2, 29, 22, 59, 59, 999),  // hour 22
      At(2024, 2, 29, 23, 59, 59, 999), At(2024, 3, 1, 0, 0, 0, 0),        // name then stamp
      At(2024, 3, 1, 0, 0, 0, 1), At(2024, 3, 1, 0, 0, 0, 1),              // new day
  });
  ASSERT_TRUE(log_.Write("one", clock));
  ASSERT_TRUE(log_.Write("two", clock));
  ASSERT_TRUE(log_.Write("three", clock));
  EXPECT_EQ(ReadFile(logs_ + "/2024_02_29/22_m.log"), "22:59:59.999 one\r\n");
  EXPECT_EQ(ReadFile(logs_ + "/2024_02_29/23_m.log"), "00:00:00.000 two\r\n");
  EXPECT_EQ(ReadFile(logs_ + "/2024_03_01/00_m.log"), "00:00:00.001 three\r\n");
}

TEST_F(HourlyFileTest, DirectoryThatCannotBeCreatedIsRetriedAtTheNextLine) {
  test::WriteFile(logs_, "a file where the directory should be");
  EXPECT_FALSE(log_.Write("lost", nine_));
  EXPECT_EQ(ReadFile(logs_), "a file where the directory should be");

  std::filesystem::remove(logs_);
  ASSERT_TRUE(log_.Write("kept", nine_));
  EXPECT_EQ(ReadFile(logs_ + "/2024_03_01/09_m.log"), "09:05:07.008 kept\r\n");
}

// An empty name, too, is one without directory: no line is written without a file name.
TEST(HourlyFileErrorTest, NameWithoutDirectoryRaisesAtEveryLine) {
  for (const char* pattern : {"\"x_\"HH\".log\"", ""}) {
    HourlyFile log(pattern, "");
    const HourlyFile::Clock now = platform::NowLocal;
    EXPECT_THROW(log.Write("x", now), std::runtime_error) << pattern;
    EXPECT_THROW(log.Write("x", now), std::runtime_error) << pattern;
  }
}

}  // namespace
}  // namespace mox
