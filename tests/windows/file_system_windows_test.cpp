// ReplaceFileAtomically and paths as Windows has them: the read-only attribute, backslashes.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_system.h"
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

// The Windows platform layer's edge: UTF-8 inside, UTF-16 for the system, the ANSI code page
// (1252 under wine here) with <U+XXXX> marks in the log.
TEST(WindowsTextEncodingTest, ConvertsUtf8AndUtf16BothWaysAndRefusesWhatIsNeither) {
  const struct {
    std::string utf8;
    std::wstring wide;
  } kPairs[] = {{"", L""},
                {"H\xC3\xB4te \xD0\xA5\xD0\xBE\xE4\xB8\xBB\xF0\x9F\x98\x80",
                 L"H\u00F4te \u0425\u043E\u4E3B\U0001F600"}};
  for (const auto& pair : kPairs) {
    EXPECT_EQ(WideFromUtf8(pair.utf8), pair.wide) << pair.utf8;
    EXPECT_EQ(Utf8FromWide(pair.wide), pair.utf8) << pair.utf8;
  }
  // Cut, overlong, an encoded surrogate, a byte UTF-8 never has: the ANSI bytes of "Hôte".
  for (const std::string bad : {"\xD0", "\xC0\xAF", "\xED\xA0\x80", "H\xF4te"}) {
    EXPECT_EQ(WideFromUtf8(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(Utf8FromWide(std::wstring(1, wchar_t{0xD800})), std::nullopt);
  EXPECT_EQ(WidePath(std::string("a\0b", 3)), std::nullopt);
}

TEST(WindowsTextEncodingTest, LogFormKeepsTheCodePagesBytesAndMarksTheRest) {
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 1252";
  // "Ā" has a best-fit look-alike ("A") in 1252, which would hide which folder it is.
  EXPECT_EQ(PathForLog("C:\\H\xC3\xB4te \xD0\xA5\xE4\xB8\xBB\xF0\x9F\x98\x80\xC4\x80\\x.dll"),
            "C:\\H\xF4te <U+0425><U+4E3B><U+1F600><U+0100>\\x.dll");
  EXPECT_EQ(PathForLog("H\xF4te"), "H\xF4te");  // not UTF-8: as it is
  EXPECT_EQ(InSystemCodePage("H\xC3\xB4te"), "H\xF4te");
  EXPECT_EQ(InSystemCodePage("\xD0\xA5"), std::nullopt);
}

TEST(WindowsTextEncodingTest, FilesInAFolderNamedOutsideTheCodePageAreTheirOwn) {
  mox::test::TempDir dir;
  const std::u8string name = u8"Хост службы 主机";
  const std::string folder = dir.path().string() + "\\" + std::string(name.begin(), name.end());
  ASSERT_TRUE(CreateDirectories(folder + "\\Logs"));
  ASSERT_TRUE(ReplaceFileAtomically(folder + "\\a.ini", "[DB]\r\n"));
  ASSERT_TRUE(AppendToFile(folder + "\\Logs\\x.log", "line\r\n", 6));
  // Under the names the system holds, not with "?" in place of a character.
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.path() / name / "a.ini"));
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.path() / name / "Logs" / "x.log"));
  EXPECT_FALSE(ReplaceFileAtomically(dir.path().string() + "\\H\xF4te.ini", "x"));
}

}  // namespace
}  // namespace mox::platform
