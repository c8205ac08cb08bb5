#include <windows.h>

#include <string>

#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/system_detail.h"
#include "platform/text_encoding_windows.h"

namespace mox::platform {
namespace {

// Closes a file handle on every path out of a scope.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (valid()) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Closes now and reports whether the close succeeded.
  bool Close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle == INVALID_HANDLE_VALUE || CloseHandle(handle) != FALSE;
  }

 private:
  HANDLE handle_;
};

// Other processes may read, write, rename and delete a file while we have it open, as they could
// with one that is closed.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

}  // namespace

bool AppendToFile(const std::string& path, const char* data, std::size_t size) {
  const std::optional<std::wstring> wide = WidePath(path);
  if (!wide) return false;
  // FILE_APPEND_DATA alone makes every write go to the end of the file, as one step, so lines of
  // concurrent writers never overwrite each other.
  FileHandle file(CreateFileW(wide->c_str(), FILE_APPEND_DATA, kShareAll, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD written = 0;
  return WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) != FALSE;
}

bool DirectoryExists(const std::string& path) {
  const std::optional<std::wstring> wide = WidePath(path);
  if (!wide) return false;
  const DWORD attributes = GetFileAttributesW(wide->c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileIsMissing(const std::string& path) {
  const std::optional<std::wstring> wide = WidePath(path);
  if (!wide || GetFileAttributesW(wide->c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool detail::CreateOneDirectory(const std::string& path) {
  const std::optional<std::wstring> wide = WidePath(path);
  return wide &&
         (CreateDirectoryW(wide->c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
}

// A drive such as "C:" always exists.
bool detail::IsVolumeRoot(const std::string& level) {
  return !level.empty() && level.back() == ':';
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
  const std::optional<std::wstring> wide = WidePath(path);
  if (!wide) return false;
  FileHandle file(CreateFileW(wide->c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  std::string result;
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr)) return false;
    if (n == 0) break;
    result.append(buffer, n);
  }
  contents = std::move(result);
  return true;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view contents) {
  const std::optional<std::wstring> wide = WidePath(path);
  if (!wide) return false;
  const DWORD attributes = GetFileAttributesW(wide->c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    // Replacing a read-only file would bypass its protection; a folder is never replaced.
    if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) return false;
  } else if (!FileIsMissing(path)) {
    return false;
  }
  // The folder's name is the path's own text up to its last separator, so it converts too.
  const std::optional<std::wstring> directory =
      WidePath(DirectoryPart(path).empty() ? "." : DirectoryPart(path));
  wchar_t temp[MAX_PATH + 1] = {};
  // Creates an empty, uniquely named file in the same folder, so that the move below is a rename.
  if (!directory || GetTempFileNameW(directory->c_str(), L"mox", 0, temp) == 0) return false;
  bool written = false;
  {
    FileHandle file(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    written = file.valid() && WriteAll(file.get(), contents.data(), contents.size()) &&
              FlushFileBuffers(file.get()) && file.Close();
  }
  if (!written ||
      !MoveFileExW(temp, wide->c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temp);
    return false;
  }
  return true;
}

// Windows guards files with access lists, not mode bits; a file's readers are set by its folder's
// inherited list, which the plug-in does not judge.
bool ReadableByGroupOrOthers(const std::string&) {
  return false;
}

}  // namespace mox::platform
