#include "log/program_log.h"

#include "config/ini_file.h"
#include "log/date_time_pattern.h"
#include "log/log_text.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace mox {

MOX_INIT_BEFORE_LOAD_STEP ProgramLog gProgramLog;

namespace {

// The second argument of DLL_Initialize.
constexpr int32_t kLogClientInitializeValue = 500;

bool LowByteIsTrue(int32_t result) {
  return (result & 0xFF) != 0;
}

// `text` with each line end (CR LF, a lone CR or a lone LF) written as the two characters \n;
// a line end at the very end is dropped. Stops once `limit` characters are joined: no sink takes
// more of a line.
void JoinLines(std::string_view text, std::size_t limit, std::string& joined) {
  joined.clear();
  std::size_t start = 0;
  while (start < text.size() && joined.size() < limit) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      joined.append(text.substr(start));
      break;
    }
    joined.append(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    if (start < text.size()) joined += "\\n";
  }
}

}  // namespace

std::string BuildProgramLogPattern(std::string_view host_directory, std::string_view module_name) {
  const std::string separator(1, platform::PathSeparator());
  std::string pattern = QuotePatternLiteral(std::string(host_directory) + "Logs" + separator);
  pattern += "YYYY";
  pattern += QuotePatternLiteral("_");
  pattern += "MM";
  pattern += QuotePatternLiteral("_");
  pattern += "DD";
  pattern += QuotePatternLiteral(separator);
  pattern += "HH";
  std::string file_name_tail(1, '_');  // built by appending: "_" + string trips GCC 12's -Wrestrict
  file_name_tail.append(module_name).append(".log");
  pattern += QuotePatternLiteral(file_name_tail);
  return pattern;
}

void ProgramLog::Open(const std::string& host_path, const std::string& module_path) noexcept {
  if (open_) return;
  try {
    const std::string module_name = platform::FileNamePart(module_path);
    host_exe_name_ = platform::PathForLog(platform::FileNamePart(host_path));
    module_name_ = platform::PathForLog(module_name);
    if (module_name.empty() || host_path.empty()) return;
    // The host's folder is the operator's choice and may be reached through links; Logs/ and what
    // is below it are not.
    const std::string host_folder = platform::DirectoryPart(host_path);
    const IniFile host_ini(platform::ReplaceExtension(host_path, ".ini"));
    // The key is the library's file name as an ini file in the system's code page holds it; a
    // name that code page cannot hold can only be written in UTF-8.
    const std::string client_params = host_ini.ReadString(
        "Debug", platform::InSystemCodePage(module_name).value_or(module_name), "");
    Open(BuildProgramLogPattern(host_folder, module_name), host_folder, client_params, host_folder);
  } catch (...) {
    Close();
  }
}

void ProgramLog::Open(std::string file_name_pattern, std::string top_folder,
                      const std::string& client_params, const std::string& client_folder) {
  MutexLock guard(lock_);
  if (open_) return;
  file_.emplace(std::move(file_name_pattern), std::move(top_folder));
  open_ = true;
  if (!client_params.empty()) LoadLogClient(client_params, client_folder);
}

void ProgramLog::CloseClient() noexcept {
  if (client_finalize_ != nullptr) {
    // The log server's library is foreign code: whatever it raises is ignored, and it is
    // unloaded all the same.
    try {
      client_finalize_();
    } catch (...) {
    }
  }
  client_initialize_ = nullptr;
  client_finalize_ = nullptr;
  client_message_ = nullptr;
  client_lib_.Close();
}

void ProgramLog::Close() noexcept {
  CloseClient();
  MutexLock guard(lock_);
  file_.reset();
  open_ = false;
  host_exe_name_.clear();
  module_name_.clear();
}

void ProgramLog::LoadLogClient(const std::string& client_params, const std::string& host_folder) {
  // The host's own copy first, so that a library of that name earlier on the search path cannot
  // take its place; then the system's search, which never reads the working directory.
  std::string tried;
  const auto load = [&](const std::string& path) {
    std::string reason;
    client_lib_ = platform::DynamicLibrary::Open(path, &reason);
    if (!client_lib_) {
      tried += (tried.empty() ? "" : "; ") + platform::PathForLog(path) + ": " + reason;
    }
    return static_cast<bool>(client_lib_);
  };
  const bool loaded = (!host_folder.empty() && load(host_folder + kLogClientLibraryName)) ||
                      load(kLogClientLibraryName);
  if (!loaded) {
    ReportClientFailure(std::string(kLogClientLibraryName) + " not loaded: " + tried +
                        "; lines go to the log files");
    return;
  }
  client_initialize_ = client_lib_.Get<ClientInitializeFunction>("DLL_Initialize");
  client_finalize_ = client_lib_.Get<ClientFinalizeFunction>("DLL_Finalize");
  client_message_ = client_lib_.Get<ClientMessageFunction>("DLL_MessageToLogServer");
  if (client_initialize_ != nullptr && client_finalize_ != nullptr && client_message_ != nullptr) {
    // A refusal changes nothing but this line: every line is offered all the same, and the
    // client may take them once it can.
    if (!LowByteIsTrue(client_initialize_(client_params.c_str(), kLogClientInitializeValue))) {
      ReportClientFailure("DLL_Initialize refused the parameters \"" + client_params +
                          "\"; lines it does not take go to the log files");
    }
    return;
  }
  const char* missing = client_initialize_ == nullptr ? "DLL_Initialize"
                        : client_finalize_ == nullptr ? "DLL_Finalize"
                                                      : "DLL_MessageToLogServer";
  client_finalize_ = nullptr;  // never initialized, so never finalized
  CloseClient();
  ReportClientFailure(std::string(kLogClientLibraryName) + " has no " + missing +
                      "; lines go to the log files");
}

void ProgramLog::ReportClientFailure(const std::string& what) {
  // Straight to the file: the log server is what failed.
  WriteToFile("LogClient:: FAIL: " + SafeForLog(what));
}

bool ProgramLog::OfferToServer(std::string_view text) {
  if (client_message_ == nullptr) return false;
  const double ole_date = platform::ToOleAutomationDate(clock_());
  // Cut to the length a file record may have, so the server never gets more than the file would.
  const std::string line_text(text.substr(0, HourlyFile::kRecordBufferSize - 1));
  return LowByteIsTrue(client_message_(ole_date, host_exe_name_.c_str(), module_name_.c_str(), "",
                                       line_text.c_str()));
}

bool ProgramLog::WriteToFile(std::string_view text) {
  return file_ && file_->Write(text, clock_);
}

bool ProgramLog::Write(std::string_view text) {
  if (OfferToServer(text)) return true;
  MutexLock guard(lock_);
  return WriteToFile(text);
}

void ProgramLog::WriteProtocol(std::string_view text) noexcept {
  if (!ProtocolOn()) return;
  try {
    MutexLock detail(detail_lock_);
    std::string_view line = text;
    if (text.find("\r\n") != std::string_view::npos) {
      JoinLines(text, HourlyFile::kRecordBufferSize - 1, detail_line_);
      line = detail_line_;
    }
    if (OfferToServer(line)) return;
    MutexLock guard(lock_);
    WriteToFile(line);
  } catch (...) {
  }
}

bool WriteLog(std::string_view text) noexcept {
  if (!gProgramLog.IsOpen()) return false;
  try {
    gProgramLog.Write(text);
    return true;
  } catch (...) {
    return false;
  }
}

void WriteProtocol(std::string_view text) noexcept {
  gProgramLog.WriteProtocol(text);
}

bool ProtocolOn() noexcept {
  return gProgramLog.ProtocolOn();
}

void SetProtocol(bool on) noexcept {
  gProgramLog.SetProtocol(on);
}

}  // namespace mox
