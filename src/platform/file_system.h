// Files and paths: path text, the file operations the logs and the settings file need, the log
// file kept open between appends, and the text of paths as the plug-in holds them and as readers
// outside it expect them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mox::platform {

// Path text helpers. Paths are byte strings in the system code page; no normalisation happens.

// The separator the platform's paths use between directories.
char PathSeparator();

// True for every character that ends a directory part ('/'; on Windows also '\\').
bool IsPathSeparator(char c);

// The text after the last path separator (the whole text when there is none).
std::string FileNamePart(std::string_view path);

// The text up to and including the last path separator (empty when there is none).
std::string DirectoryPart(std::string_view path);

// The path with the extension of its file-name part replaced by `extension` (which includes its
// dot), or with `extension` appended when the file name has no extension.
std::string ReplaceExtension(std::string_view path, std::string_view extension);

// File operations the logs and the settings file need.

// Appends `size` bytes to the file at `path` with one write call, creating the file when it does
// not exist and never truncating it. Other processes may read the file meanwhile. The file is
// closed again before returning. True when the write call reported success.
bool AppendToFile(const std::string& path, const char* data, std::size_t size);

// True when `path` names an existing directory.
bool DirectoryExists(const std::string& path);

// True when nothing exists at `path` (false when something is there or the system cannot tell).
bool FileIsMissing(const std::string& path);

// Creates the directory `path` with every missing parent. True when it exists afterwards.
bool CreateDirectories(const std::string& path);

// Reads the whole file into `contents`. False when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& contents);

// True when the file at `path` exists and its permission bits let its group or others read it.
bool ReadableByGroupOrOthers(const std::string& path);

// Replaces the file at `path` with `contents` so that readers see either the old or the new file,
// never a half-written one: the data goes to a temporary file in the same directory, is flushed,
// and is renamed over the old one. A new file is readable and writable by its owner only; an
// existing file keeps its permission bits. False (with nothing changed) on any failure.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents);

// A log file kept open between appends, with the guarantees of opening it for every line.
//
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
// On Windows (file_system_windows.cpp) every record opens, appends and closes the file instead:
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

// Paths and names as the plug-in holds them, and as 8-bit readers outside it (the log, a host,
// the host's ini file) expect them. Inside the plug-in a path is a byte string: on POSIX systems
// the bytes the system gives, on Windows UTF-8, which the Windows platform layer turns into UTF-16
// for the system's wide calls. The log and the hosts of a Windows system read text in its ANSI code
// page, so a path going to them is converted where that text is made.

// `text` in the system's 8-bit code page: on Windows the ANSI code page, nullopt when that lacks
// one of the characters of `text` or `text` is not UTF-8; on POSIX systems `text` as it is.
std::optional<std::string> InSystemCodePage(std::string_view text);

// `path` as a log line shows it, and as a host gets a name derived from it: on Windows each
// character in the ANSI code page's bytes, each character the code page lacks as "<U+XXXX>" (its
// code point, upper-case hexadecimal, at least four digits), and a text that is not UTF-8 as it is;
// on POSIX systems `path` as it is. "<" and ">" never occur in a Windows file name, so the form
// cannot be mistaken for one.
std::string PathForLog(std::string_view path);

#if defined(_WIN32)
// The one conversion between the UTF-8 the plug-in holds and the UTF-16 of the system's wide
// calls, for the Windows platform layer.

// `utf8` as UTF-16; nullopt when it is not UTF-8 (an invalid or cut sequence, an encoded
// surrogate).
std::optional<std::wstring> WideFromUtf8(std::string_view utf8);

// `wide` as UTF-8; nullopt when it is not UTF-16 (an unpaired surrogate, which a file name on
// Windows may hold).
std::optional<std::string> Utf8FromWide(std::wstring_view wide);

// `path` for a wide call: WideFromUtf8, and nullopt for a path holding a NUL too. On failure the
// thread's last error says why (ERROR_NO_UNICODE_TRANSLATION, ERROR_INVALID_NAME), as a failed
// call would.
std::optional<std::wstring> WidePath(std::string_view path);
#endif

// The system side of the shared code in file_system.cpp: each system's file defines these.
namespace detail {

// Creates the one directory `path` whose parent exists. True when it was made or already existed.
bool CreateOneDirectory(const std::string& path);

// True for a level of a path that always exists and cannot be created, such as a drive ("C:").
bool IsVolumeRoot(const std::string& level);

}  // namespace detail

}  // namespace mox::platform
