// The program log: an hourly file log that offers every line to a log server first when a
// log-server client library is configured and complete.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "log/time_separated_file_log.h"
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
// The second argument of DLL_Initialize.
inline constexpr int32_t kLogClientInitializeValue = 500;

// Thread-safe like its bases. The server call of a line is made outside the lock, so the client
// library is entered by several threads at once.
class UniLog : public TimeSeparatedFileLog {
 public:
  // Loads the client library when `client_params` is not empty (see LoadLogClient). For the
  // pattern and `top_folder` see TimeSeparatedFileLog.
  UniLog(std::string file_name_pattern, std::string top_folder, const std::string& client_params);
  // Calls DLL_Finalize and unloads the client library when it was complete.
  ~UniLog() override;

  // Offers the line to the log server first (when there is a client); a line the server does not
  // take goes to the file as in the base class.
  bool Write(std::string_view text) override EXCLUDES(lock_);

  // True while the client library is loaded and complete ("server first").
  bool HasLogClient() const { return client_message_ != nullptr; }

 private:
  // Loads the client library and, when all three exports are there, calls DLL_Initialize;
  // otherwise unloads it again. A library that does not load, lacks an export or refuses the
  // parameters is reported in the file log ("LogClient:: FAIL: ...").
  void LoadLogClient(const std::string& client_params);
  void ReportClientFailure(const std::string& what);

  // True when the server took the line, sent with the current local date and time and no prefix.
  bool OfferToServer(std::string_view text);

  // The host's and this library's file names as the client library takes them (see PathForLog).
  std::string host_exe_name_;
  std::string module_name_;
  platform::DynamicLibrary client_lib_;
  ClientInitializeFunction client_initialize_ = nullptr;
  ClientFinalizeFunction client_finalize_ = nullptr;
  ClientMessageFunction client_message_ = nullptr;
};

}  // namespace mox
