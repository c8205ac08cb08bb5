// ReplaceFileAtomically and paths as Windows has them: the read-only attribute, backslashes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/path.h"
#include "support/temp_dir.h"

namespace mox::platform {
namespace {

using mox::test::ReadFile;
using mox::test::TempDir;
using mox::test::WriteFile;

std::vector<std::string> Entries(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(WindowsFileSystemTest, ReplacesWritableFilesOnlyAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string folder = dir.path().string() + "\\";
  ASSERT_TRUE(ReplaceFileAtomically(folder + "new.ini", "created"));
  EXPECT_EQ(ReadFile(folder + "new.ini"), "created");
  ASSERT_TRUE(ReplaceFileAtomically(folder + "new.ini", "replaced"));
  EXPECT_EQ(ReadFile(folder + "new.ini"), "replaced");

  WriteFile(folder + "ro.ini", "keep");
  std::filesystem::permissions(folder + "ro.ini", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  EXPECT_FALSE(ReplaceFileAtomically(folder + "ro.ini", "lost"));
  EXPECT_EQ(ReadFile(folder + "ro.ini"), "keep");
  std::filesystem::permissions(folder + "ro.ini", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);

  std::filesystem::create_directory(folder + "sub");
  EXPECT_FALSE(ReplaceFileAtomically(folder + "sub", "x"));
  EXPECT_FALSE(ReplaceFileAtomically(folder + "missing\\s.ini", "x"));
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"new.ini", "ro.ini", "sub"}));
}

TEST(WindowsFileSystemTest, TakesBothSlashesAndCreatesNestedFolders) {
  TempDir dir;
  const std::string nested = dir.path().string() + "\\a/b\\c";
  ASSERT_TRUE(CreateDirectories(nested));
  EXPECT_TRUE(DirectoryExists(dir.path().string() + "/a/b/c"));
  EXPECT_EQ(FileNamePart("C:\\Host\\Plugins/apMoxSettingsManager.dll"), "apMoxSettingsManager.dll");
  EXPECT_EQ(DirectoryPart("C:\\Host\\Plugins\\apMoxSettingsManager.dll"), "C:\\Host\\Plugins\\");
  EXPECT_EQ(ReplaceExtension("C:\\Host.d\\host.exe", ".ini"), "C:\\Host.d\\host.ini");
  EXPECT_EQ(PathSeparator(), '\\');
}

}  // namespace
}  // namespace mox::platform
