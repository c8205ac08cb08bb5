// The hour's file kept open between lines (POSIX systems; Windows opens it for every line).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "log/date_time_pattern.h"
#include "log/hourly_file.h"
#include "log_test_support.h"
#include "support/temp_dir.h"

namespace mox {
namespace {

using test::At;
using test::ReadFile;

// The file stays open between lines; whatever an operator or the clock does between two lines,
// the second must land where a fresh open would have put it.
TEST(HourlyFileKeptOpenTest, SecondLineGoesWhereTheNameNowLeads) {
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
    HourlyFile log(QuotePatternLiteral(logs + "/") + "YYYY\"_\"MM\"_\"DD\"/\"HH\"_m.log\"",
                   temp.path().string());
    // Each line reads the clock twice: for the file name, then for the time stamp.
    const auto nine = At(2024, 3, 1, 9, 0, 0, 0), later = At(2024, 3, 1, c.second_hour, 0, 0, 0);
    const auto clock = test::SequenceClock({nine, nine, later, later});
    ASSERT_TRUE(log.Write("one", clock));
    c.between(logs + "/2024_03_01");
    EXPECT_EQ(log.Write("two", clock), c.second_written);
    for (const auto& [file, contents] : c.files)
      EXPECT_EQ(ReadFile(logs + "/" + file), contents) << file;
  }
}

// A symbolic link below the host's folder, where a folder or the hour's file is to be opened,
// keeps that line out of every file; the next line written is preceded, once, by one naming it.
TEST(HourlyFileKeptOpenTest, SymbolicLinkBelowTheTopFolderIsNotFollowed) {
  namespace fs = std::filesystem;
  // The link under the host's folder, its target in a folder beside it, the day of the next lines.
  const std::tuple<std::string, std::string, int> cases[] = {
      {"Logs/2024_03_01/10_m.log", "target", 1},
      {"Logs/2024_03_01/10_m.log", "missing", 1},
      {"Logs/2024_03_02", ".", 2},
      {"Logs", ".", 1}};
  for (const auto& [link_name, target, day] : cases) {
    SCOPED_TRACE(link_name);
    test::TempDir temp;
    const std::string host = temp.File("host"), link = host + "/" + link_name,
                      elsewhere = temp.File("x");
    fs::create_directories(elsewhere);
    test::WriteFile(elsewhere + "/target", "kept\n");
    HourlyFile log(QuotePatternLiteral(host + "/Logs/") + "YYYY\"_\"MM\"_\"DD\"/\"HH\"_m.log\"",
                   host);
    const auto nine = At(2024, 3, 1, 9, 0, 0, 0);
    const auto clock = test::SequenceClock({nine, nine, At(2024, 3, day, 10, 0, 0, 0)});
    ASSERT_TRUE(log.Write("one", clock));
    if (link_name == "Logs") fs::remove_all(link);
    fs::create_symlink(elsewhere + "/" + target, link);
    EXPECT_FALSE(log.Write("lost", clock));
    EXPECT_EQ(ReadFile(elsewhere + "/target"), "kept\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere), fs::directory_iterator()), 1);
    fs::remove(link);
    EXPECT_TRUE(log.Write("two", clock) && log.Write("three", clock));
    EXPECT_EQ(ReadFile(host + "/Logs/2024_03_0" + std::to_string(day) + "/10_m.log"),
              "10:00:00.000 FileLog:: FAIL: " + link +
                  " is a symbolic link; not followed\r\n"
                  "10:00:00.000 two\r\n10:00:00.000 three\r\n");
  }
  // A FIFO in the file's place, which no one reads, loses the line instead of holding the writer.
  test::TempDir temp;
  const std::string host = temp.File("host");
  fs::create_directories(host + "/Logs");
  ASSERT_EQ(::mkfifo((host + "/Logs/10_m.log").c_str(), 0600), 0);
  HourlyFile log(QuotePatternLiteral(host + "/Logs/") + "HH\"_m.log\"", host);
  EXPECT_FALSE(log.Write("lost", test::SequenceClock({At(2024, 3, 1, 10, 0, 0, 0)})));
}

// Two processes, and two log objects in one of them, append to the same file: every line arrives
// whole, none is lost.
TEST(HourlyFileKeptOpenTest, WritersInTwoProcessesNeitherLoseNorSplitLines) {
  test::TempDir temp;
  const std::string pattern = QuotePatternLiteral(temp.File("Logs") + "/") + "\"shared.log\"";
  constexpr int kLines = 2000;
  const HourlyFile::Clock now = platform::NowLocal;
  const std::string text(200, 'x');
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    HourlyFile log(pattern, temp.path().string());
    int failed = 0;
    for (int i = 0; i < kLines; ++i) failed += log.Write("c" + text, now) ? 0 : 1;
    _exit(failed == 0 ? 0 : 1);
  }
  HourlyFile first(pattern, temp.path().string());
  HourlyFile second(pattern, temp.path().string());
  for (int i = 0; i < kLines / 2; ++i) {
    EXPECT_TRUE(first.Write("p" + text, now));
    EXPECT_TRUE(second.Write("p" + text, now));
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

}  // namespace
}  // namespace mox
