// A log file kept open between appends, with the guarantees of opening it for every line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mox::platform {

// Appends records to one file at a time, keeping it open between records. Before every record it
// checks that `path` still names the open file (same device, inode and permission bits, by stat
// of the path against what fstat said at opening): a file deleted, renamed or moved away with its
// folder, or replaced by another, is closed and the path opened (created) anew. That check is
// sound because the open descriptor keeps its inode alive, so no other file can take its number
// while it is open.
//
// Each record is one write call on a descriptor opened with O_APPEND: other processes and other
// objects may append to the same file without overwriting or splitting each other's records, and
// may read or delete it at any time. Nothing is buffered in the process.
//
// On Windows (appending_file_windows.cpp) every record opens, appends and closes the file instead:
// an open handle there would keep an operator from moving the log's folder away.
//
// Not thread-safe: the owner serialises calls.
class AppendingFile {
 public:
  AppendingFile() = default;
  ~AppendingFile();
  AppendingFile(const AppendingFile&) = delete;
  AppendingFile& operator=(const AppendingFile&) = delete;

  // Appends `size` bytes to the file at `path` with one write call, creating the file when it
  // does not exist. With `create_folder`, a folder missing from `path` is created (with its
  // parents) when the open fails. True when the write call reported success; on failure the file
  // is closed, so the next record starts from a fresh open.
  bool Append(const std::string& path, const char* data, std::size_t size, bool create_folder);

  // Closes the file now; the next Append opens it again.
  void Close();

 private:
  // True when the open file is still the one at `path`.
  bool StillAt(const std::string& path) const;
  bool Open(const std::string& path, bool create_folder);

  int fd_ = -1;
  std::string path_;
  std::uint64_t device_ = 0;
  std::uint64_t inode_ = 0;
  std::uint32_t mode_ = 0;
};

}  // namespace mox::platform
