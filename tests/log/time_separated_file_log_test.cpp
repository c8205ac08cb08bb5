#include "log/time_separated_file_log.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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
        log_(QuotePatternLiteral(logs_ + "/") + "YYYY\"_\"MM\"_\"DD\"/\"HH\"_m.log\"") {}

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

// The file stays open between lines; whatever an operator or the clock does between two lines,
// the second must land where a fresh open would have put it.
TEST(TimeSeparatedFileLogKeptOpenTest, SecondLineGoesWhereTheNameNowLeads) {
  namespace fs = std::filesystem;
  struct Case {
    const char* what;
    std::function<void(const std::string& day)> between;  // `day`: the first line's folder
    int second_hour;
    bool second_written;
    std::vector<std::pair<std::string, std::string>> files;  // under Logs/: contents
  };
  const std::string one = "2024_03_01/09_m.log";
  const std::string first = "09:00:00.000 one\r\n", two = "09:00:00.000 two\r\n";
  // clang-format off
  const Case cases[] = {
      {"file deleted", [](auto& d) { fs::remove(d + "/09_m.log"); },
       9, true, {{one, two}}},
      {"file renamed", [](auto& d) { fs::rename(d + "/09_m.log", d + "/old.log"); },
       9, true, {{"2024_03_01/old.log", first}, {one, two}}},
      {"file replaced", [](auto& d) { fs::remove(d + "/09_m.log"); test::WriteFile(d + "/09_m.log", "x\n"); },
       9, true, {{one, "x\n" + two}}},
      {"folder moved away", [](auto& d) { fs::rename(d, d + "_moved"); },
       9, true, {{"2024_03_01_moved/09_m.log", first}, {one, two}}},
      {"file turned into a folder", [](auto& d) { fs::remove(d + "/09_m.log"); fs::create_directory(d + "/09_m.log"); },
       9, false, {}},
      {"hour switch", [](auto&) {},
       10, true, {{one, first}, {"2024_03_01/10_m.log", "10:00:00.000 two\r\n"}}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir temp;
    const std::string logs = temp.File("Logs");
    TimeSeparatedFileLog log(QuotePatternLiteral(logs + "/") +
                             "YYYY\"_\"MM\"_\"DD\"/\"HH\"_m.log\"");
    // Each line reads the clock twice: for the file name, then for the time stamp.
    const auto nine = At(2024, 3, 1, 9, 0, 0, 0), later = At(2024, 3, 1, c.second_hour, 0, 0, 0);
    log.SetClock(test::SequenceClock({nine, nine, later, later}));
    ASSERT_TRUE(log.Write("one"));
    c.between(logs + "/2024_03_01");
    EXPECT_EQ(log.Write("two"), c.second_written);
    for (const auto& [file, contents] : c.files)
      EXPECT_EQ(ReadFile(logs + "/" + file), contents) << file;
  }
}

// Two processes, and two log objects in one of them, append to the same file: every line arrives
// whole, none is lost.
TEST(TimeSeparatedFileLogKeptOpenTest, WritersInTwoProcessesNeitherLoseNorSplitLines) {
  test::TempDir temp;
  const std::string pattern = QuotePatternLiteral(temp.File("Logs") + "/") + "\"shared.log\"";
  constexpr int kLines = 2000;
  const std::string text(200, 'x');
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TimeSeparatedFileLog log(pattern);
    int failed = 0;
    for (int i = 0; i < kLines; ++i) failed += log.Write("c" + text) ? 0 : 1;
    _exit(failed == 0 ? 0 : 1);
  }
  TimeSeparatedFileLog first(pattern);
  TimeSeparatedFileLog second(pattern);
  for (int i = 0; i < kLines / 2; ++i) {
    EXPECT_TRUE(first.Write("p" + text));
    EXPECT_TRUE(second.Write("p" + text));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::istringstream lines(ReadFile(temp.File("Logs/shared.log")));
  int from_child = 0, from_parent = 0;
  for (std::string line; std::getline(lines, line, '\n');) {
    // Each line: a 13-byte time stamp, the text, CR (LF ended the getline).
    const std::string body = line.size() > 13 ? line.substr(13) : line;
    ASSERT_TRUE(body == "c" + text + "\r" || body == "p" + text + "\r") << line;
    ++(body[0] == 'c' ? from_child : from_parent);
  }
  EXPECT_EQ(from_child, kLines);
  EXPECT_EQ(from_parent, kLines);
}

TEST(TimeSeparatedFileLogErrorTest, NameWithoutDirectoryRaisesAndReleasesTheLock) {
  TimeSeparatedFileLog log("\"x_\"HH\".log\"");
  EXPECT_THROW(log.Write("x"), std::runtime_error);
  // A second call would hang if the first had kept the lock.
  EXPECT_THROW(log.Write("x"), std::runtime_error);
}

}  // namespace
}  // namespace mox
