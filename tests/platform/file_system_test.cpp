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

TEST(PathTest, SplitsAtTheLastSeparator) {
  EXPECT_EQ(FileNamePart("/opt/host/apMoxSettingsManager.so"), "apMoxSettingsManager.so");
  EXPECT_EQ(DirectoryPart("/opt/host/apMoxSettingsManager.so"), "/opt/host/");
  EXPECT_EQ(FileNamePart("plain.so"), "plain.so");
  EXPECT_EQ(DirectoryPart("plain.so"), "");
  EXPECT_EQ(FileNamePart("/opt/host/"), "");
  EXPECT_EQ(DirectoryPart("/opt/host/"), "/opt/host/");
  EXPECT_EQ(DirectoryPart("/x"), "/");
  EXPECT_EQ(FileNamePart(""), "");
  EXPECT_EQ(DirectoryPart(""), "");
}

TEST(PathTest, ReplacesOrAppendsTheExtensionOfTheFileNameOnly) {
  EXPECT_EQ(ReplaceExtension("/opt/host/apMoxSettingsManager.so", ".ini"),
            "/opt/host/apMoxSettingsManager.ini");
  EXPECT_EQ(ReplaceExtension("/opt/host/plugin", ".ini"), "/opt/host/plugin.ini");
  // A dot in a directory name is not an extension.
  EXPECT_EQ(ReplaceExtension("/opt/host.d/plugin", ".ini"), "/opt/host.d/plugin.ini");
  EXPECT_EQ(ReplaceExtension("libx.so.1", ".ini"), "libx.so.ini");
  EXPECT_EQ(ReplaceExtension("", ".ini"), ".ini");
}

}  // namespace
}  // namespace mox::platform
