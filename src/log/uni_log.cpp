#include "log/uni_log.h"

#include "log/library_loading.h"
#include "log/log_names.h"
#include "log/log_text.h"
#include "platform/file_system.h"

namespace mox {
namespace {

bool LowByteIsTrue(int32_t result) {
  return (result & 0xFF) != 0;
}

}  // namespace

UniLog::UniLog(std::string file_name_pattern, std::string top_folder,
               const std::string& client_params)
    : TimeSeparatedFileLog(std::move(file_name_pattern), std::move(top_folder)),
      host_exe_name_(platform::PathForLog(HostExeName())),
      module_name_(platform::PathForLog(ModuleName())) {
  if (!client_params.empty()) LoadLogClient(client_params);
}

UniLog::~UniLog() {
  if (client_finalize_ != nullptr) {
    // The log server's library is foreign code: whatever it raises is ignored, and it is
    // unloaded all the same.
    try {
      client_finalize_();
    } catch (...) {
    }
    client_lib_.Close();
  }
}

void UniLog::LoadLogClient(const std::string& client_params) {
  std::string tried;
  client_lib_ = LoadLibraryBesideHost(kLogClientLibraryName, &tried);
  if (!client_lib_) {
    ReportClientFailure(std::string(kLogClientLibraryName) + " not loaded: " + tried +
                        "; lines go to the log files");
    return;
  }
  client_initialize_ =
      reinterpret_cast<ClientInitializeFunction>(client_lib_.Symbol("DLL_Initialize"));
  client_finalize_ = reinterpret_cast<ClientFinalizeFunction>(client_lib_.Symbol("DLL_Finalize"));
  client_message_ =
      reinterpret_cast<ClientMessageFunction>(client_lib_.Symbol("DLL_MessageToLogServer"));
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
  client_initialize_ = nullptr;
  client_finalize_ = nullptr;
  client_message_ = nullptr;
  client_lib_.Close();
  ReportClientFailure(std::string(kLogClientLibraryName) + " has no " + missing +
                      "; lines go to the log files");
}

void UniLog::ReportClientFailure(const std::string& what) {
  // Straight to the file: the log server is what failed.
  TimeSeparatedFileLog::Write("LogClient:: FAIL: " + SafeForLog(what));
}

bool UniLog::OfferToServer(std::string_view text) {
  if (client_message_ == nullptr) return false;
  const double ole_date = platform::ToOleAutomationDate(Now());
  // Cut to the length a file record may have, so the server never gets more than the file would.
  const std::string line_text(text.substr(0, kRecordBufferSize - 1));
  return LowByteIsTrue(client_message_(ole_date, host_exe_name_.c_str(), module_name_.c_str(), "",
                                       line_text.c_str()));
}

bool UniLog::Write(std::string_view text) {
  if (OfferToServer(text)) return true;
  return TimeSeparatedFileLog::Write(text);
}

}  // namespace mox
