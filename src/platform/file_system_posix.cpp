#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "platform/file_descriptor_posix.h"
#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/system_detail.h"

namespace mox::platform {
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

}  // namespace mox::platform
