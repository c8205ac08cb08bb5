#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>

#include "platform/appending_file.h"
#include "platform/file_system.h"
#include "platform/path.h"

namespace mox::platform {

AppendingFile::~AppendingFile() {
  Close();
}

void AppendingFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool AppendingFile::StillAt(const std::string& path) const {
  if (fd_ < 0 || path != path_) return false;
  // Only the identity is asked for, not the times: a stat that reads a file's times makes the
  // kernel give that file's next change a fine-grained time stamp, which moves the clock of every
  // other file's time stamps too, so the database file's inode became dirty, and was written
  // with its pages, at every commit instead of once per clock tick.
  struct statx st {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_TYPE | STATX_MODE | STATX_INO, &st) != 0) {
    return false;
  }
  // The permission bits count too: a file made read-only is opened anew, so that its lines fail
  // as they would with a fresh open.
  return makedev(st.stx_dev_major, st.stx_dev_minor) == device_ && st.stx_ino == inode_ &&
         st.stx_mode == mode_;
}

bool AppendingFile::Open(const std::string& path, bool create_folder) {
  Close();
  constexpr int kFlags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
  int fd = ::open(path.c_str(), kFlags, 0644);
  if (fd < 0 && create_folder) {
    const std::string folder = DirectoryPart(path);
    if (folder.empty() || !CreateDirectories(folder)) return false;
    fd = ::open(path.c_str(), kFlags, 0644);
  }
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  if (path_ != path) path_ = path;
  device_ = st.st_dev;
  inode_ = st.st_ino;
  mode_ = st.st_mode;
  return true;
}

bool AppendingFile::Append(const std::string& path, const char* data, std::size_t size,
                           bool create_folder) {
  if (!StillAt(path) && !Open(path, create_folder)) return false;
  ssize_t n;
  do {
    n = ::write(fd_, data, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    Close();
    return false;
  }
  return true;
}

}  // namespace mox::platform
