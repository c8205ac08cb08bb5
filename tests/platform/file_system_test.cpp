#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace mox::platform {
namespace {

using mox::test::ReadFile;
using mox::test::TempDir;
using mox::test::WriteFile;

TEST(FileSystemTest, AppendsCreatesDirectoriesAndReads) {
  TempDir dir;
  const std::string nested = dir.File("a/b/c");
  EXPECT_FALSE(DirectoryExists(nested));
  ASSERT_TRUE(CreateDirectories(nested));
  EXPECT_TRUE(DirectoryExists(nested));
  EXPECT_TRUE(CreateDirectories(nested));

  const std::string file = nested + "/log";
  ASSERT_TRUE(AppendToFile(file, "one\r\n", 5));
  ASSERT_TRUE(AppendToFile(file, "two\r\n", 5));
  std::string contents = "stale";
  ASSERT_TRUE(ReadWholeFile(file, contents));
  EXPECT_EQ(contents, "one\r\ntwo\r\n");

  EXPECT_FALSE(ReadWholeFile(dir.File("none"), contents));
  EXPECT_FALSE(AppendToFile(dir.File("none/log"), "x", 1));
}

}  // namespace
}  // namespace mox::platform
