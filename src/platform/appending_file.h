// A log file kept open between appends, with the guarantees of opening it for every line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mox::platform {

// Appends records to one file at a time, keeping it open between records. Before every record it
// checks that `path` still names the open file: a file deleted, renamed or moved away with its
// folder, or replaced by another, or whose permission bits changed, is closed and the path opened
// (created) anew.
//
// On Linux the check is an inotify instance that watches the open file (attributes and link
// count, deletion, move) and every folder of its path (deletion, move): reading it costs one cheap
// system call, where a stat of the whole path walked every folder again. The watches are checked
// once against the path after they are set, so nothing that happens after that goes unseen. A
// path that is relative, holds ".." or a symbolic link, a file on a file system other than the
// common local ones (another machine could change a network one without an event here), or a
// process that has used up its share of inotify instances falls back to comparing a stat of the
// path (device, inode, permission bits) with what fstat said at opening. Both checks are sound
// because the open descriptor keeps its inode alive, so no other file can take its number while it
// is open.
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

  enum class AppendResult {
    kWritten,
    kFailed,
    kLinkRefused,  // a symbolic link stood where a folder or the file was to be opened
  };

  // Appends `size` bytes to the file at `path` with one write call, creating the file when it
  // does not exist. `path` up to `walked_from` (zero, or the position just after a separator) is
  // a folder opened as it is, symbolic links included: the operator chose it. Below it each
  // folder is opened relative to the one before and the file relative to the last, none of them
  // through a symbolic link, so no one who may write there can send the records into another
  // file (on Windows the path is opened as it is). With `create_folder`, a folder missing from
  // `path` is created. On failure the file is closed, so the next record starts from a fresh open.
  AppendResult Append(const std::string& path, std::size_t walked_from, const char* data,
                      std::size_t size, bool create_folder);

  // After kLinkRefused: the path of the symbolic link that was not followed.
  const std::string& refused_link() const { return refused_link_; }

  // Closes the file now; the next Append opens it again.
  void Close();

  // True when the open file is checked by its watch rather than by a stat of its path.
  bool Watching() const { return watch_fd_ >= 0; }

 private:
  // True when the open file is still the one at `path`.
  bool StillAt(const std::string& path);
  bool Open(const std::string& path, std::size_t walked_from, bool create_folder);
  // Sets up the watch over the open file and its folders; without one, StillAt stats the path.
  void Watch();
  void StopWatching();
  // True when a stat of the path (with these statx flags) finds the open file.
  bool PathNamesOpenFile(int statx_flags) const;

  int fd_ = -1;
  int watch_fd_ = -1;
  std::string path_;
  std::uint64_t device_ = 0;
  std::uint64_t inode_ = 0;
  std::uint32_t mode_ = 0;
  std::string refused_link_;
};

}  // namespace mox::platform
