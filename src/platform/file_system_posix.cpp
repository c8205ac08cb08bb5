// Files and paths: the POSIX side.
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <string>

#include "platform/file_system.h"

namespace mox::platform {

namespace {

// A POSIX file descriptor owned by a scope: closes it on every path out of the scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() { Close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes the one held and takes `fd`.
  void reset(int fd) {
    Close();
    fd_ = fd;
  }
  // Hands the descriptor over to the caller, who closes it.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now and reports whether the close succeeded.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

}  // namespace

// Path text.

char PathSeparator() {
  return '/';
}

bool IsPathSeparator(char c) {
  return c == '/';
}

// File operations.

namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool AppendToFile(const std::string& path, const char* data, std::size_t size) {
  // O_APPEND makes the seek to the end and the write one atomic step, so lines of concurrent
  // writers never overwrite each other.
  FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (!file.valid()) return false;
  ssize_t n;
  do {
    n = ::write(file.get(), data, size);
  } while (n < 0 && errno == EINTR);
  return n >= 0;
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileIsMissing(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

bool detail::CreateOneDirectory(const std::string& path) {
  return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool detail::IsVolumeRoot(const std::string&) {
  return false;
}

bool ReadableByGroupOrOthers(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) return false;
  std::string result;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    result.append(buffer, static_cast<std::size_t>(n));
  }
  contents = std::move(result);
  return true;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view contents) {
  // Through a symbolic link the file it points to is replaced; the link stays a link.
  std::string target = path;
  struct stat link_st {};
  if (::lstat(path.c_str(), &link_st) == 0 && S_ISLNK(link_st.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return false;
    target = resolved;
  }
  mode_t mode = S_IRUSR | S_IWUSR;  // a new file may hold a password: owner only
  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists) {
    if (!S_ISREG(st.st_mode)) return false;
    // Replacing a file we could not write in place would bypass its read-only protection; a file
    // without its owner's write bit counts as read-only for root too, as on other platforms.
    if ((st.st_mode & S_IWUSR) == 0 || ::access(target.c_str(), W_OK) != 0) return false;
    mode = st.st_mode & 07777;
  }
  // The same holds for the directory the temporary file and the rename go to.
  const std::string directory = DirectoryPart(target).empty() ? "." : DirectoryPart(target);
  struct stat dir_st {};
  if (::stat(directory.c_str(), &dir_st) != 0 || !S_ISDIR(dir_st.st_mode) ||
      (dir_st.st_mode & S_IWUSR) == 0 || ::access(directory.c_str(), W_OK) != 0) {
    return false;
  }
  std::string temp = DirectoryPart(target) + "." + FileNamePart(target) + ".XXXXXX";
  // Close-on-exec from the start: a child the host starts meanwhile must not inherit the file,
  // which may hold a password.
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  FileDescriptor file(fd);
  // A privileged writer must not take the file away from its owner. Where we may not give it
  // back (an unprivileged writer of a group-writable file), the file becomes ours, as any
  // rewrite would make it.
  if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
    [[maybe_unused]] const int best_effort = ::fchown(fd, st.st_uid, st.st_gid);
  }
  const bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, contents.data(), contents.size()) &&
                       ::fsync(fd) == 0 && file.Close();
  if (!written || ::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

// The log file kept open between appends.

namespace {

// inotify instances are limited per user (128 by default) and shared with everything else the
// service's user runs: the log files of one process take at most this many, the others stat.
constexpr int kMostWatchedFiles = 8;
constinit std::atomic<int> gWatchedFiles{0};

// The open file: its permission bits, its links (deleted, renamed over) and its own move.
constexpr uint32_t kFileEvents = IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_DONT_FOLLOW;
// Each folder of the path: deleted or moved. IN_ONLYDIR with IN_DONT_FOLLOW refuses a symbolic
// link, whose target could change without an event on anything watched.
constexpr uint32_t kFolderEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_DONT_FOLLOW | IN_ONLYDIR;

// inotify sees only what is done through this machine's kernel: a file on a network file system
// can be moved or deleted by another machine without an event, so only these are watched.
bool WatchableFileSystem(int fd) {
  struct statfs fs {};
  if (::fstatfs(fd, &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0x01021994:  // tmpfs
    case 0x794C7630:  // overlayfs
    case 0xF2F52010:  // f2fs
    case 0x2FC12FC1:  // zfs
      return true;
    default:
      return false;
  }
}

// True when every folder of the absolute `path` (not the root, which cannot move) is watched.
bool WatchFolders(int watch_fd, const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    const std::string_view last = std::string_view(folder).substr(folder.rfind('/') + 1);
    if (last.empty() || last == "." || last == "..") return false;
    if (::inotify_add_watch(watch_fd, folder.c_str(), kFolderEvents) < 0) return false;
  }
  return true;
}

bool IsLink(int folder_fd, const char* name) {
  struct stat st {};
  return ::fstatat(folder_fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// Opens the file at `path` for appending (see AppendingFile::Append for `walked_from`); -1 on
// failure, with `refused` set to the path of a symbolic link that stood in the way. Each step
// opens one name relative to the folder opened before it, with O_NOFOLLOW, so a link put in
// between two steps is refused as well as one that was there before.
int OpenWithoutLinks(const std::string& path, std::size_t walked_from, bool create_folder,
                     std::string& refused) {
  // O_PATH: a folder one may search but not list is walked as a path through it would be.
  constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  if (walked_from == 0 && path.starts_with('/')) walked_from = 1;  // from the root, not from "."
  FileDescriptor folder;
  if (walked_from > 0) {
    const std::string top = path.substr(0, walked_from);
    folder.reset(::open(top.c_str(), kFolderFlags));
    if (!folder.valid() && create_folder && CreateDirectories(top)) {
      folder.reset(::open(top.c_str(), kFolderFlags));
    }
    if (!folder.valid()) return -1;
  }
  std::size_t start = walked_from;
  for (std::size_t slash = path.find('/', start); slash != std::string::npos;
       start = slash + 1, slash = path.find('/', start)) {
    if (slash == start) continue;
    const std::string name = path.substr(start, slash - start);
    const int at = folder.valid() ? folder.get() : AT_FDCWD;
    int next = ::openat(at, name.c_str(), kFolderFlags | O_NOFOLLOW);
    if (next < 0 && errno == ENOENT && create_folder &&
        (::mkdirat(at, name.c_str(), 0755) == 0 || errno == EEXIST)) {
      next = ::openat(at, name.c_str(), kFolderFlags | O_NOFOLLOW);
    }
    if (next < 0) {
      if (IsLink(at, name.c_str())) refused = path.substr(0, slash);
      return -1;
    }
    folder.reset(next);
  }
  const int at = folder.valid() ? folder.get() : AT_FDCWD;
  const char* name = path.c_str() + start;
  // O_NONBLOCK: a FIFO planted in the file's place would hold the open until a reader came; it
  // changes nothing for a regular file, the only kind written to.
  FileDescriptor file(::openat(
      at, name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644));
  if (!file.valid()) {
    if (IsLink(at, name)) refused = path;
    return -1;
  }
  struct stat st {};
  if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return file.release();
}

}  // namespace

AppendingFile::~AppendingFile() {
  Close();
}

void AppendingFile::Close() {
  StopWatching();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void AppendingFile::StopWatching() {
  if (watch_fd_ < 0) return;
  ::close(watch_fd_);
  watch_fd_ = -1;
  gWatchedFiles.fetch_sub(1);
}

bool AppendingFile::PathNamesOpenFile(int statx_flags) const {
  // Only the identity is asked for, not the times: a stat that reads a file's times makes the
  // kernel give that file's next change a fine-grained time stamp, which moves the clock of every
  // other file's time stamps too, so the database file's inode became dirty, and was written
  // with its pages, at every commit instead of once per clock tick.
  struct statx st {};
  if (::statx(AT_FDCWD, path_.c_str(), statx_flags, STATX_TYPE | STATX_MODE | STATX_INO, &st) !=
      0) {
    return false;
  }
  // The permission bits count too: a file made read-only is opened anew, so that its lines fail
  // as they would with a fresh open.
  return makedev(st.stx_dev_major, st.stx_dev_minor) == device_ && st.stx_ino == inode_ &&
         st.stx_mode == mode_;
}

void AppendingFile::Watch() {
  if (path_.empty() || path_.front() != '/' || !WatchableFileSystem(fd_)) return;
  if (gWatchedFiles.fetch_add(1) >= kMostWatchedFiles) {
    gWatchedFiles.fetch_sub(1);
    return;
  }
  watch_fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch_fd_ < 0) {
    gWatchedFiles.fetch_sub(1);
    return;
  }
  // The watches go on whatever the names lead to now; the stat after them proves that this is
  // still the open file, so a change before they were set is caught here and one after by them.
  // Not following a link there: a file reached through one is checked by stat at every record.
  if (!WatchFolders(watch_fd_, path_) ||
      ::inotify_add_watch(watch_fd_, path_.c_str(), kFileEvents) < 0 ||
      !PathNamesOpenFile(AT_SYMLINK_NOFOLLOW)) {
    StopWatching();
  }
}

bool AppendingFile::StillAt(const std::string& path) {
  if (fd_ < 0 || path != path_) return false;
  if (watch_fd_ < 0) return PathNamesOpenFile(0);
  // Any event at all (the watch's own IN_IGNORED and a queue overflow included) means a new open.
  alignas(inotify_event) char events[sizeof(inotify_event) + NAME_MAX + 1];
  ssize_t n;
  do {
    n = ::read(watch_fd_, events, sizeof events);
  } while (n < 0 && errno == EINTR);
  return n < 0 && errno == EAGAIN;
}

bool AppendingFile::Open(const std::string& path, std::size_t walked_from, bool create_folder) {
  Close();
  const int fd = OpenWithoutLinks(path, walked_from, create_folder, refused_link_);
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
  Watch();
  return true;
}

AppendingFile::AppendResult AppendingFile::Append(const std::string& path, std::size_t walked_from,
                                                  const char* data, std::size_t size,
                                                  bool create_folder) {
  if (!StillAt(path)) {
    refused_link_.clear();
    if (!Open(path, walked_from, create_folder)) {
      return refused_link_.empty() ? AppendResult::kFailed : AppendResult::kLinkRefused;
    }
  }
  ssize_t n;
  do {
    n = ::write(fd_, data, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    Close();
    return AppendResult::kFailed;
  }
  return AppendResult::kWritten;
}

// Text of paths.

// Paths are bytes here, and the log shows them as they are.
std::optional<std::string> InSystemCodePage(std::string_view text) {
  return std::string(text);
}

std::string PathForLog(std::string_view path) {
  return std::string(path);
}

}  // namespace mox::platform
