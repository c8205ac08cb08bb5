#include "common/temp_folder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace mox::bench {

TempFolder::TempFolder(bool open_to_all) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/mox-bench-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed: " + pattern);
  path_ = buffer.data();
  if (open_to_all && ::chmod(path_.c_str(), 0777) != 0)
    throw std::runtime_error("chmod failed: " + path_);
}

TempFolder::~TempFolder() {
  // Kept for profilers, which resolve the plug-in's symbols from its file after the run.
  if (const char* keep = std::getenv("MOX_BENCH_KEEP_FILES"); keep != nullptr && *keep == '1')
    return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace mox::bench
