// The kept-open file's check on Linux: changes anywhere along the path reach the next record,
// whether a watch or (through a symbolic link) a stat of the path sees them.
#include <gtest/gtest.h>
#include <sys/statfs.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/appending_file.h"
#include "support/temp_dir.h"

namespace mox::platform {
namespace {

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
