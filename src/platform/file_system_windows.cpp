// Files and paths: the Windows side.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>

#include "platform/file_system.h"

namespace mox::platform {

// Path text.

char PathSeparator() {
  return '\\';
}

// Windows takes either slash between directories.
bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}

// Text of paths: UTF-8 inside, UTF-16 for the system's wide calls, the ANSI code page for the log
// and the host.
namespace {

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsHighSurrogate(wchar_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

// "<U+0425>" for one character of one or two UTF-16 units.
std::string CodePointMark(std::wstring_view units) {
  unsigned long code_point = units[0];
  if (units.size() == 2) code_point = 0x10000 + ((code_point - 0xD800) << 10) + (units[1] - 0xDC00);
  char mark[16];
  const int n = std::snprintf(mark, sizeof mark, "<U+%04lX>", code_point);
  return std::string(mark, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// The ANSI code page's bytes for one character; nullopt when the code page lacks it (no
// best-fit look-alike: "Ā" is not "A").
std::optional<std::string> CodePageCharacter(std::wstring_view units) {
  char bytes[8];
  BOOL used_default = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units.data(),
                                    static_cast<int>(units.size()), bytes, sizeof bytes, nullptr,
                                    &used_default);
  if (n <= 0 || used_default) return std::nullopt;
  return std::string(bytes, static_cast<std::size_t>(n));
}

// `text` (UTF-8) in the ANSI code page; a character the code page lacks as its mark with
// `mark_missing`, else the whole conversion fails. nullopt for a text that is not UTF-8.
std::optional<std::string> ToCodePage(std::string_view text, bool mark_missing) {
  // Every ANSI code page holds ASCII as it is.
  if (IsAscii(text)) return std::string(text);
  const std::optional<std::wstring> wide = WideFromUtf8(text);
  if (!wide) return std::nullopt;
  // A system whose ANSI code page is UTF-8 holds every character, and takes no flags for it.
  if (GetACP() == CP_UTF8) return std::string(text);
  std::string narrow;
  narrow.reserve(text.size());
  for (std::size_t i = 0; i < wide->size();) {
    // Valid UTF-8 gives complete surrogate pairs.
    const std::size_t units = IsHighSurrogate((*wide)[i]) ? 2 : 1;
    const std::wstring_view character(wide->data() + i, units);
    if (std::optional<std::string> bytes = CodePageCharacter(character)) {
      narrow += *bytes;
    } else if (mark_missing) {
      narrow += CodePointMark(character);
    } else {
      return std::nullopt;
    }
    i += units;
  }
  return narrow;
}

}  // namespace

std::optional<std::wstring> WideFromUtf8(std::string_view utf8) {
  if (utf8.empty()) return std::wstring();
  if (utf8.size() > INT_MAX) return std::nullopt;
  const int size = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), n) != n) {
    return std::nullopt;
  }
  return wide;
}

std::optional<std::string> Utf8FromWide(std::wstring_view wide) {
  if (wide.empty()) return std::string();
  if (wide.size() > INT_MAX / 4) return std::nullopt;
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, nullptr, 0,
                                    nullptr, nullptr);
  if (n <= 0) return std::nullopt;
  std::string utf8(static_cast<std::size_t>(n), '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, utf8.data(), n, nullptr,
                          nullptr) != n) {
    return std::nullopt;
  }
  return utf8;
}

std::optional<std::wstring> WidePath(std::string_view path) {
  // A NUL would end the path early: the call would act on another file.
  if (path.find('\0') != std::string_view::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return std::nullopt;
  }
  std::optional<std::wstring> wide = WideFromUtf8(path);
  if (!wide) SetLastError(ERROR_NO_UNICODE_TRANSLATION);
  return wide;
}

std::optional<std::string> InSystemCodePage(std::string_view text) {
  return ToCodePage(text, false);
}

std::string PathForLog(std::string_view path) {
  std::optional<std::string> shown = ToCodePage(path, true);
  return shown ? std::move(*shown) : std::string(path);
}

// File operations.

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

// The log file. On Windows every record opens, appends and closes the file. A handle kept open
// would stop an operator from renaming or moving the log's folder while the plug-in runs, so
// nothing is kept.
AppendingFile::~AppendingFile() = default;

void AppendingFile::Close() {}

bool AppendingFile::StillAt(const std::string&) {
  return false;
}

bool AppendingFile::Open(const std::string&, std::size_t, bool) {
  return false;
}

// The path is opened as it is, below `walked_from` too.
AppendingFile::AppendResult AppendingFile::Append(const std::string& path, std::size_t,
                                                  const char* data, std::size_t size,
                                                  bool create_folder) {
  if (AppendToFile(path, data, size)) return AppendResult::kWritten;
  const std::string folder = DirectoryPart(path);
  if (!create_folder || folder.empty() || DirectoryExists(folder) || !CreateDirectories(folder)) {
    return AppendResult::kFailed;
  }
  return AppendToFile(path, data, size) ? AppendResult::kWritten : AppendResult::kFailed;
}

}  // namespace mox::platform
