// ReplaceFileAtomically on POSIX: permission bits, owners, symbolic links, close-on-exec.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/file_system.h"
#include "support/temp_dir.h"

// Takes the C library's place in this test program, to look at ReplaceFileAtomically's temporary
// file while it is open: would a program started meanwhile inherit it?
static std::atomic<int> gSyncs{0}, gInheritableSyncs{0};
extern "C" int fsync(int fd) {
  ++gSyncs;
  if ((::fcntl(fd, F_GETFD) & FD_CLOEXEC) == 0) ++gInheritableSyncs;
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace mox::platform {
namespace {

using mox::test::ReadFile;
using mox::test::TempDir;
using mox::test::WriteFile;

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

// Every name in the directory, so that a leftover temporary file shows.
std::vector<std::string> Entries(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ReplaceFileAtomicallyTest, CreatesANewFileForItsOwnerOnly) {
  TempDir dir;
  const std::string file = dir.File("s.ini");
  ASSERT_TRUE(ReplaceFileAtomically(file, "secret\r\n"));
  EXPECT_EQ(ReadFile(file), "secret\r\n");
  EXPECT_EQ(ModeOf(file), 0600u);
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"s.ini"});
}

TEST(ReplaceFileAtomicallyTest, KeepsTheModeOfAnExistingFile) {
  TempDir dir;
  const std::string file = dir.File("s.ini");
  WriteFile(file, "old");
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  ASSERT_TRUE(ReplaceFileAtomically(file, std::string("new\0bytes", 9)));
  EXPECT_EQ(ReadFile(file), std::string("new\0bytes", 9));
  EXPECT_EQ(ModeOf(file), 0640u);
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"s.ini"});
}

TEST(ReplaceFileAtomicallyTest, RefusesAndChangesNothingWhereItMayNotWrite) {
  TempDir dir;
  const std::string read_only = dir.File("ro.ini");
  WriteFile(read_only, "keep");
  ASSERT_EQ(::chmod(read_only.c_str(), 0444), 0);
  EXPECT_FALSE(ReplaceFileAtomically(read_only, "lost"));
  EXPECT_EQ(ReadFile(read_only), "keep");
  EXPECT_EQ(ModeOf(read_only), 0444u);

  EXPECT_FALSE(ReplaceFileAtomically(dir.File("missing/s.ini"), "x"));
  // A directory in the file's place is not replaced.
  std::filesystem::create_directory(dir.path() / "sub");
  EXPECT_FALSE(ReplaceFileAtomically(dir.File("sub"), "x"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "sub"));
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"ro.ini", "sub"}));
}

TEST(ReplaceFileAtomicallyTest, RefusesInAReadOnlyDirectory) {
  TempDir dir;
  const auto locked = dir.path() / "locked";
  std::filesystem::create_directory(locked);
  const std::string existing = (locked / "s.ini").string();
  WriteFile(existing, "keep");
  ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
  EXPECT_FALSE(ReplaceFileAtomically(existing, "lost"));
  EXPECT_FALSE(ReplaceFileAtomically((locked / "new.ini").string(), "x"));
  EXPECT_EQ(ReadFile(existing), "keep");
  EXPECT_EQ(Entries(locked), std::vector<std::string>{"s.ini"});
}

TEST(ReplaceFileAtomicallyTest, ReplacesTheFileBehindALinkAndKeepsItsOwner) {
  TempDir dir;
  const std::string target = dir.File("real.ini");
  const std::string link = dir.File("link.ini");
  WriteFile(target, "old");
  std::filesystem::create_symlink(target, link);
  ASSERT_TRUE(ReplaceFileAtomically(link, "new"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(target), "new");

  if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another owner needs root";
  ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
  ASSERT_TRUE(ReplaceFileAtomically(target, "newer"));
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
  EXPECT_EQ(ReadFile(target), "newer");
}

// A program the host starts while the settings file is written must not inherit its temporary
// copy, which holds the password.
TEST(ReplaceFileAtomicallyTest, TemporaryFileIsClosedOnExec) {
  TempDir dir;
  const int syncs = gSyncs;
  ASSERT_TRUE(ReplaceFileAtomically(dir.File("s.ini"), "x"));
  EXPECT_EQ(gSyncs - syncs, 1);
  EXPECT_EQ(gInheritableSyncs, 0);
}

// The kept-open file's check on Linux: changes anywhere along the path reach the next record,
// whether a watch or (through a symbolic link) a stat of the path sees them.
namespace fs = std::filesystem;
using test::ReadFile;

// ext4 and tmpfs, where the tests' temporary folders are: a watch is expected there.
bool OnExt4OrTmpfs(const std::string& path) {
  struct statfs fs {};
  return ::statfs(path.c_str(), &fs) == 0 && (fs.f_type == 0xEF53 || fs.f_type == 0x01021994);
}

TEST(AppendingFileWatchTest, ChangeAlongThePathSendsTheNextRecordToAFreshOpen) {
  struct Case {
    const char* what;
    bool through_link;  // the path reaches the file through a symbolic link to its folder
    std::function<void(const std::string& root)> between;
    std::string first_at, second_at;  // relative to root: where each record lands
  };
  // clang-format off
  const Case cases[] = {
      {"folder two levels up moved away", false,
       [](auto& r) { fs::rename(r + "/Logs", r + "/Old"); }, "Old/day/f.log", "Logs/day/f.log"},
      {"file renamed over", false,
       [](auto& r) { test::WriteFile(r + "/other", "x\n"); fs::rename(r + "/other", r + "/Logs/day/f.log"); },
       "", "Logs/day/f.log"},
      {"link re-pointed", true,
       [](auto& r) { fs::create_directories(r + "/B/day"); fs::remove(r + "/Logs"); fs::create_directory_symlink(r + "/B", r + "/Logs"); },
       "A/day/f.log", "B/day/f.log"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir temp;
    const std::string root = fs::canonical(temp.path()).string();
    if (c.through_link) {
      fs::create_directories(root + "/A");
      fs::create_directory_symlink(root + "/A", root + "/Logs");
    }
    const std::string path = root + "/Logs/day/f.log";
    AppendingFile file;
    // Logs/ is where the operator put it, a link or not.
    const std::size_t walked_from = (root + "/Logs/").size();
    ASSERT_EQ(file.Append(path, walked_from, "one\n", 4, true),
              AppendingFile::AppendResult::kWritten);
    if (OnExt4OrTmpfs(root)) {
      EXPECT_EQ(file.Watching(), !c.through_link);
    }
    c.between(root);
    ASSERT_EQ(file.Append(path, walked_from, "two\n", 4, true),
              AppendingFile::AppendResult::kWritten);
    if (!c.first_at.empty()) {
      EXPECT_EQ(ReadFile(root + "/" + c.first_at), "one\n");
    }
    const std::string before_second = c.first_at.empty() ? "x\n" : "";
    EXPECT_EQ(ReadFile(root + "/" + c.second_at), before_second + "two\n");
  }
}

TEST(AppendingFileTest, WithoutCreateFolderAMissingFolderStaysMissing) {
  test::TempDir temp;
  const std::string missing = temp.File("missing");
  AppendingFile file;
  EXPECT_EQ(file.Append(missing + "/x.log", 0, "x\n", 2, false),
            AppendingFile::AppendResult::kFailed);
  EXPECT_FALSE(fs::exists(missing));
}

}  // namespace
}  // namespace mox::platform
