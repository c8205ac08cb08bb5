// A folder of its own under the system's temporary directory ($TMPDIR, else /tmp), removed with
// everything in it unless MOX_BENCH_KEEP_FILES=1.
#pragma once

#include <string>

namespace mox::bench {

class TempFolder {
 public:
  // `open_to_all`: mode 0777, so that the Firebird server (its own user) can create and open
  // databases in it.
  explicit TempFolder(bool open_to_all = false);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace mox::bench
