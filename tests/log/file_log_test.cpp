#include "log/file_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "log_test_support.h"
#include "support/temp_dir.h"

namespace mox {
namespace {

using test::ReadFile;

constexpr std::size_t kStampSize = 13;  // "HH:NN:SS.ZZZ "

class FileLogTest : public ::testing::Test {
 protected:
  FileLogTest() : file_(temp_.File("16_x.log")), log_(file_) {
    log_.SetClock(test::FixedClock(test::At(2017, 6, 2, 16, 5, 9, 42)));
  }

  test::TempDir temp_;
  std::string file_;
  FileLog log_;
};

TEST_F(FileLogTest, RecordLayouts) {
  EXPECT_TRUE(log_.Write("Finalize_Plugin"));
  EXPECT_TRUE(log_.Write(""));
  // Line ends inside a text are kept: only the first line carries the stamp.
  EXPECT_TRUE(log_.Write("a\r\nb\nc"));
  EXPECT_EQ(ReadFile(file_),
            "16:05:09.042 Finalize_Plugin\r\n"
            "16:05:09.042 \r\n"
            "16:05:09.042 a\r\nb\nc\r\n");
}

TEST_F(FileLogTest, AppendsAfterTheLastByteOfAnExistingFile) {
  test::WriteFile(file_, "old contents without line end");
  EXPECT_TRUE(log_.Write("one"));
  EXPECT_TRUE(log_.Write("two"));
  EXPECT_EQ(ReadFile(file_),
            "old contents without line end16:05:09.042 one\r\n16:05:09.042 two\r\n");
}

// A record is at most 8191 bytes; a longer one loses the end of its text, never its CR LF, so
// the record after it starts a line of its own.
TEST_F(FileLogTest, LongRecordIsCutInItsTextAndKeepsItsLineEnd) {
  std::string text(10000, 'x');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  ASSERT_TRUE(log_.Write(text));
  ASSERT_TRUE(log_.Write("next"));
  EXPECT_EQ(ReadFile(file_),
            "16:05:09.042 " + text.substr(0, 8191 - kStampSize - 2) + "\r\n16:05:09.042 next\r\n");

  const std::string fits(8191 - kStampSize - 2, 'f');
  for (const std::string& line : {fits, fits + "g"}) {
    std::filesystem::remove(file_);
    ASSERT_TRUE(log_.Write(line));
    EXPECT_EQ(ReadFile(file_), "16:05:09.042 " + fits + "\r\n");
  }
}

TEST(FileLogFailureTest, EmptyFileNameWritesNothing) {
  FileLog log("");
  EXPECT_FALSE(log.Write("x"));
}

TEST(FileLogFailureTest, DoesNotCreateMissingDirectories) {
  test::TempDir temp;
  const std::string missing = temp.File("missing");
  FileLog log(missing + "/x.log");
  EXPECT_FALSE(log.Write("x"));
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
}  // namespace mox
