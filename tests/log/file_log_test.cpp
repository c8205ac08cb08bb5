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
  EXPECT_TRUE(log_.WriteRaw("raw"));
  EXPECT_TRUE(log_.Write(""));
  EXPECT_TRUE(log_.WriteRaw(""));
  // Line ends inside a text are kept: only the first line carries the stamp.
  EXPECT_TRUE(log_.Write("a\r\nb\nc"));
  EXPECT_EQ(ReadFile(file_),
            "16:05:09.042 Finalize_Plugin\r\n"
            "raw\r\n"
            "16:05:09.042 \r\n"
            "\r\n"
            "16:05:09.042 a\r\nb\nc\r\n");
}

TEST_F(FileLogTest, AppendsAfterTheLastByteOfAnExistingFile) {
  test::WriteFile(file_, "old contents without line end");
  EXPECT_TRUE(log_.WriteRaw("one"));
  EXPECT_TRUE(log_.WriteRaw("two"));
  EXPECT_EQ(ReadFile(file_), "old contents without line endone\r\ntwo\r\n");
}

TEST_F(FileLogTest, LongTextIsCutTo8191Bytes) {
  std::string text(10000, 'x');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  ASSERT_TRUE(log_.Write(text));
  const std::string stamped = ReadFile(file_);
  ASSERT_EQ(stamped.size(), 8191u);
  EXPECT_EQ(stamped, "16:05:09.042 " + text.substr(0, 8191 - kStampSize));

  std::filesystem::remove(file_);
  ASSERT_TRUE(log_.WriteRaw(text));
  EXPECT_EQ(ReadFile(file_), text.substr(0, 8191));
}

TEST_F(FileLogTest, RecordOfExactly8191BytesKeepsItsLineEnd) {
  const std::string fits(8191 - kStampSize - 2, 'f');
  ASSERT_TRUE(log_.Write(fits));
  EXPECT_EQ(ReadFile(file_), "16:05:09.042 " + fits + "\r\n");

  std::filesystem::remove(file_);
  const std::string one_more = fits + "g";
  ASSERT_TRUE(log_.Write(one_more));
  EXPECT_EQ(ReadFile(file_), "16:05:09.042 " + one_more + "\r");

  std::filesystem::remove(file_);
  ASSERT_TRUE(log_.WriteRaw(std::string(8189, 'r')));
  EXPECT_EQ(ReadFile(file_), std::string(8189, 'r') + "\r\n");
}

TEST_F(FileLogTest, PrefixGoesBeforeTheFileName) {
  EXPECT_TRUE(log_.WritePrefixed("stamped", "P"));
  EXPECT_TRUE(log_.WriteRawPrefixed("raw", "P"));
  EXPECT_EQ(ReadFile(temp_.File("P_16_x.log")), "16:05:09.042 stamped\r\nraw\r\n");
  // An empty prefix means the file of Write.
  EXPECT_TRUE(log_.WritePrefixed("same file", ""));
  EXPECT_TRUE(log_.WriteRawPrefixed("same file raw", ""));
  EXPECT_EQ(ReadFile(file_), "16:05:09.042 same file\r\nsame file raw\r\n");
}

TEST(FileLogFailureTest, EmptyFileNameWritesNothing) {
  FileLog log("");
  EXPECT_FALSE(log.Write("x"));
  EXPECT_FALSE(log.WriteRaw("x"));
  EXPECT_FALSE(log.WritePrefixed("x", "P"));
  EXPECT_FALSE(log.WriteRawPrefixed("x", "P"));
}

TEST(FileLogFailureTest, DoesNotCreateMissingDirectories) {
  test::TempDir temp;
  const std::string missing = temp.File("missing");
  FileLog log(missing + "/x.log");
  EXPECT_FALSE(log.Write("x"));
  EXPECT_FALSE(log.WritePrefixed("x", "P"));
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
}  // namespace mox
