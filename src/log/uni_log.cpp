#include "log/uni_log.h"

#include "log/library_loading.h"
#include "log/program_log.h"

namespace mox {
namespace {

bool LowByteIsTrue(int32_t result) {
  return (result & 0xFF) != 0;
}

}  // namespace

tUniLog::tUniLog(std::string file_name_pattern, const std::string& client_params)
    : tTimeSeparatedFileLog(std::move(file_name_pattern)) {
  if (!client_params.empty()) LoadLogClient(client_params);
}

tUniLog::~tUniLog() {
  if (FClientFinalize != nullptr) {
    // The log server's library is foreign code: whatever it raises is ignored, and it is
    // unloaded all the same.
    try {
      FClientFinalize();
    } catch (...) {
    }
    FreeLib(FClientLib);
  }
}

void tUniLog::LoadLogClient(const std::string& client_params) {
  FClientLib = LoadLib(kLogClientLibraryName);
  if (!FClientLib) return;
  FClientInitialize =
      reinterpret_cast<ClientInitializeFunction>(GetLibProc(FClientLib, "DLL_Initialize"));
  FClientFinalize =
      reinterpret_cast<ClientFinalizeFunction>(GetLibProc(FClientLib, "DLL_Finalize"));
  FClientMessage =
      reinterpret_cast<ClientMessageFunction>(GetLibProc(FClientLib, "DLL_MessageToLogServer"));
  if (FClientInitialize != nullptr && FClientFinalize != nullptr && FClientMessage != nullptr) {
    FServerResult =
        LowByteIsTrue(FClientInitialize(client_params.c_str(), kLogClientInitializeValue));
    return;
  }
  FClientInitialize = nullptr;
  FClientFinalize = nullptr;
  FClientMessage = nullptr;
  FreeLib(FClientLib);
}

bool tUniLog::OfferToServer(bool dated, std::string_view prefix, std::string_view text) {
  if (FClientMessage == nullptr) return false;
  const double ole_date = dated ? platform::ToOleAutomationDate(Now()) : 0.0;
  const std::string prefix_text(prefix);
  const std::string line_text(text);
  // Other threads store their own results meanwhile: decide on this call's result alone.
  const bool taken =
      LowByteIsTrue(FClientMessage(ole_date, HostExeName().c_str(), ModuleName().c_str(),
                                   prefix_text.c_str(), line_text.c_str()));
  FServerResult = taken;
  return taken;
}

bool tUniLog::Write(std::string_view text) {
  if (OfferToServer(true, {}, text)) return true;
  return tTimeSeparatedFileLog::Write(text);
}

bool tUniLog::WritePrefixed(std::string_view text, std::string_view prefix) {
  if (OfferToServer(true, prefix, text)) return true;
  return tTimeSeparatedFileLog::WritePrefixed(text, prefix);
}

bool tUniLog::WriteRaw(std::string_view text) {
  if (OfferToServer(false, {}, text)) return true;
  return tTimeSeparatedFileLog::WriteRaw(text);
}

bool tUniLog::WriteRawPrefixed(std::string_view text, std::string_view prefix) {
  if (OfferToServer(false, prefix, text)) return true;
  return tTimeSeparatedFileLog::WriteRawPrefixed(text, prefix);
}

}  // namespace mox
