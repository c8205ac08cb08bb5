// The worker wired to the real subsystems. Kept apart from the worker itself so that a binary
// that builds a worker on other services never links the database or settings layers.
#include <algorithm>

#include "config/settings.h"
#include "config/write_protocol.h"
#include "db/db_cancel.h"
#include "db/db_operations.h"
#include "db/db_tools.h"
#include "log/program_log.h"
#include "platform/dynamic_library.h"
#include "platform/module_path.h"
#include "plugin/plugin_name.h"
#include "worker/mox_settings_manager.h"
#include "worker/worker_services.h"

namespace mox {
namespace {

class TProductionServices final : public WorkerServices {
 public:
  void InitSettings() override { mox::InitSettings(); }
  void InitDBTools() override { mox::InitDBTools(); }
  void DoneDBTools() noexcept override { mox::DoneDBTools(); }

  int32_t DBGetDataByID(const std::string& ID, int16_t& Value, std::string& Text) override {
    return mox::DBGetDataByID(ID, Value, Text);
  }
  int32_t DBGetModifiedStateByID(const std::string& ID, int32_t& State) override {
    return mox::DBGetModifiedStateByID(ID, State);
  }
  int32_t DBSetModifiedStateByID(const std::string& ID, uint8_t State, int32_t& Value) override {
    return mox::DBSetModifiedStateByID(ID, State, Value);
  }
  int32_t DBBlockings_GetData(RequestList& list) override { return mox::DBBlockings_GetData(list); }
  int32_t DBBlockings_SetPwd(RequestList& list) override { return mox::DBBlockings_SetPwd(list); }
  int32_t DBBlockings_SetLink(RequestList& list) override { return mox::DBBlockings_SetLink(list); }
  void DBServeIdleTicks() noexcept override { mox::DBServeIdleTicks(); }
  void DBDisconnect() noexcept override {
    try {
      LockDB();
    } catch (...) {
      return;  // no database layer, no connection
    }
    DBClose();
    UnlockDB();
  }
  void DBCancelOperation(bool abort, std::chrono::milliseconds wait) noexcept override {
    mox::DBCancelOperation(abort ? DBCancelKind::kAbort : DBCancelKind::kRaise, wait);
  }
  std::size_t QueueLimit() noexcept override {
    return static_cast<std::size_t>(std::max(0, mox::QueueMaxCommands));
  }
  void KeepLibraryLoaded() noexcept override {
    platform::DynamicLibrary::PinLoaded(platform::ThisModulePath());
  }

  void WriteLog(std::string_view text) noexcept override { mox::WriteLog(text); }
  void WriteProtocol(std::string_view text) noexcept override { mox::WriteProtocol(text); }
  const char* PluginName() noexcept override { return mox::PluginName(); }
};

// At namespace scope, so that it is made when the library loads and goes only with the library's
// other globals, after every exit handler that may still stop a worker using it.
constinit TProductionServices gProductionServices;

}  // namespace

WorkerServices& ProductionServices() {
  return gProductionServices;
}

TMoxSettingsManager::TMoxSettingsManager(MoxReplyCallback callback, uint32_t user_value)
    : TMoxSettingsManager(callback, user_value, ProductionServices()) {}

}  // namespace mox
