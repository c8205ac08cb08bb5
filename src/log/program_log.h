// The program log, the one log of the library: every line goes to the log server first when the
// host's ini file names one for this library, else to the hourly file under the host's folder.
// Detail lines (the setting Protocol) are written only while the detail switch is on. The rest of
// the plug-in writes through WriteLog and WriteProtocol.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/thread_annotations.h"
#include "log/hourly_file.h"
#include "platform/dynamic_library.h"

namespace mox {

// The exports of the log-server client library. Texts are zero-terminated and never null; a
// Boolean result is the lowest byte of the int32_t, zero meaning false.
extern "C" {
using ClientInitializeFunction = int32_t(MOX_SYSTEM_CALL*)(const char* params, int32_t value);
using ClientFinalizeFunction = void(MOX_SYSTEM_CALL*)();
using ClientMessageFunction = int32_t(MOX_SYSTEM_CALL*)(double ole_date_local,
                                                        const char* host_exe_name,
                                                        const char* module_name, const char* prefix,
                                                        const char* text);
}

// File name under which the log-server client library is loaded.
using platform::kLogClientLibraryName;

// The pattern <host_directory>Logs/YYYY_MM_DD/HH_<module_name>.log with every literal piece
// quoted, so that letters of the paths are never read as date-time tokens. `host_directory`
// ends with its path separator.
std::string BuildProgramLogPattern(std::string_view host_directory, std::string_view module_name);

// Write, WriteProtocol and SetProtocol may run on any thread at any time. Open, Close and
// SetClock run only while no line is written (library load and unload): what they set is read
// without the locks. The server call of a plain line is made outside every lock, and that of a
// detail line under the detail lock only, so the client library is entered by several threads at
// once.
class ProgramLog {
 public:
  using Clock = HourlyFile::Clock;

  ProgramLog() = default;
  ProgramLog(const ProgramLog&) = delete;
  ProgramLog& operator=(const ProgramLog&) = delete;
  // Leaves the client library as Close does, without the lock: at the end of a Windows process a
  // thread ended by the system may hold it for ever.
  ~ProgramLog() { CloseClient(); }

  // The library's log for the host executable at `host_path` and the library at `module_path`:
  // the hourly files from BuildProgramLogPattern under the host's folder, and the log server when
  // key <library file name> of section "Debug" in the host's ini file (the host executable's path
  // with the extension ".ini") holds the client's parameters. Without the host's path or the
  // library's name nothing is opened (the files and the ini file would be looked for relative to
  // the current directory). A failure leaves the log closed, silently. Does nothing while open.
  void Open(const std::string& host_path, const std::string& module_path) noexcept;
  // The hourly file of `file_name_pattern` below `top_folder` (see HourlyFile), and the log server
  // when `client_params` is not empty, its library looked for in `client_folder` (the host's
  // folder, with its trailing separator) first. Does nothing while open.
  void Open(std::string file_name_pattern, std::string top_folder, const std::string& client_params,
            const std::string& client_folder);
  // Finalizes and unloads the client library, closes the file and forgets the names: lines go
  // nowhere until the next Open. The detail switch stays as it is.
  void Close() noexcept;

  bool IsOpen() const { return open_; }
  // True while the client library is loaded and complete ("server first").
  bool HasLogClient() const { return client_message_ != nullptr; }
  // The host's and this library's file names as the log server gets them (see PathForLog).
  const std::string& host_exe_name() const { return host_exe_name_; }
  const std::string& module_name() const { return module_name_; }

  // One line, to the server first and to the file when the server does not take it. True when
  // one of them took it. Throws what HourlyFile::Write throws.
  bool Write(std::string_view text) EXCLUDES(lock_);

  // The detail switch, the setting Protocol; on until it is set. Read without the lock, so that a
  // detail line written while it is off never waits.
  void SetProtocol(bool on) noexcept { protocol_.store(on, std::memory_order_relaxed); }
  bool ProtocolOn() const noexcept { return protocol_.load(std::memory_order_relaxed); }
  // Writes `text` while the switch is on; a text of several lines becomes one line with the two
  // characters \n between them. Never throws: a line that cannot be written is dropped.
  void WriteProtocol(std::string_view text) noexcept EXCLUDES(detail_lock_, lock_);

  // Replaces the clock (platform::NowLocal by default).
  void SetClock(Clock clock) { clock_ = std::move(clock); }

  // Held for every line into the file; tests hold it to see who waits for it.
  Mutex& lock() { return lock_; }

 private:
  bool WriteToFile(std::string_view text) REQUIRES(lock_);
  // Loads the client library (from beside the host first) and, when all three exports are there,
  // calls DLL_Initialize; otherwise unloads it again. A library that does not load, lacks an export
  // or refuses the parameters is reported in the file ("LogClient:: FAIL: ...").
  void LoadLogClient(const std::string& client_params, const std::string& host_folder)
      REQUIRES(lock_);
  void ReportClientFailure(const std::string& what) REQUIRES(lock_);
  // True when the server took the line, sent with the current local date and time and no prefix.
  bool OfferToServer(std::string_view text);
  void CloseClient() noexcept;

  Mutex lock_;
  std::optional<HourlyFile> file_ GUARDED_BY(lock_);
  // Detail lines one at a time, through the log server and the file; taken before lock_, which
  // plain lines take alone, so that they never wait for a detail line at the log server.
  Mutex detail_lock_;
  std::string detail_line_ GUARDED_BY(detail_lock_);  // a joined detail line; its memory is kept
  std::atomic<bool> protocol_{true};

  bool open_ = false;
  Clock clock_ = &platform::NowLocal;
  std::string host_exe_name_;
  std::string module_name_;
  platform::DynamicLibrary client_lib_;
  ClientInitializeFunction client_initialize_ = nullptr;
  ClientFinalizeFunction client_finalize_ = nullptr;
  ClientMessageFunction client_message_ = nullptr;
};

// The library's program log. A global, not an object handed around: it lives from the library's
// load step (which opens it before any export can run) to its unload step (which closes it after
// the worker has stopped), and every part of the plug-in writes to it, on the host's threads and
// on the worker's.
extern ProgramLog gProgramLog;

// gProgramLog.Write; false when the log is closed or the write raised an error. Never throws.
bool WriteLog(std::string_view text) noexcept;
// The detail log of gProgramLog: see ProgramLog::WriteProtocol, ProtocolOn and SetProtocol.
void WriteProtocol(std::string_view text) noexcept;
bool ProtocolOn() noexcept;
void SetProtocol(bool on) noexcept;

}  // namespace mox
