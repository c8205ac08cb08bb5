#include "db/settings_database.h"

#include "db/connection.h"
#include "db/db_cancel.h"
#include "db/elapsed_field.h"
#include "db/fb_client.h"
#include "db/operations.h"
#include "log/program_log.h"

namespace mox {

SettingsDatabase::SettingsDatabase() = default;

SettingsDatabase::~SettingsDatabase() {
  Done();
}

void SettingsDatabase::Init() {
  MutexLock lock(lock_);
  connection_ = std::make_unique<Connection>(FbClient::Load());
  WriteProtocol("CreateDBControls:: OK");
}

void SettingsDatabase::Done() noexcept {
  MutexLock lock(lock_);
  // After a failed creation there is no object to free, and no line claims there was.
  if (!connection_) return;
  CloseConnection(*connection_);
  connection_.reset();
  WriteProtocol("DestroyDBControls:: OK");
}

template <typename Result, typename Operation>
Result SettingsDatabase::Locked(Result failed, Operation operation) noexcept {
  try {
    MutexLock lock(lock_);
    if (!connection_) return failed;
    return operation(*connection_);
  } catch (...) {
    return failed;  // only copying the inputs can fail
  }
}

int32_t SettingsDatabase::GetDataById(const std::string& id, int16_t& value, std::string& text) {
  return Locked(-1, [&](Connection& c) { return mox::GetDataById(c, id, value, text); });
}

int32_t SettingsDatabase::GetModifiedStateById(const std::string& id, int32_t& state) {
  return Locked(-1, [&](Connection& c) { return mox::GetModifiedStateById(c, id, state); });
}

int32_t SettingsDatabase::SetModifiedStateById(const std::string& id, uint8_t state,
                                               int32_t& value) {
  return Locked(-1, [&](Connection& c) { return mox::SetModifiedStateById(c, id, state, value); });
}

BlockingResult SettingsDatabase::BlockingsGetData(RequestList list) {
  return Locked(BlockingResult{},
                [&](Connection& c) { return mox::BlockingsGetData(c, std::move(list)); });
}

BlockingResult SettingsDatabase::BlockingsSetPwd(RequestList list) {
  return Locked(BlockingResult{},
                [&](Connection& c) { return mox::BlockingsSetPwd(c, std::move(list)); });
}

BlockingResult SettingsDatabase::BlockingsSetLink(RequestList list) {
  return Locked(BlockingResult{},
                [&](Connection& c) { return mox::BlockingsSetLink(c, std::move(list)); });
}

void SettingsDatabase::ServeIdleTicks() noexcept {
  Locked(0, [](Connection& c) {
    c.ServeIdleTick(GetMsCounter());
    return 0;
  });
}

void SettingsDatabase::Disconnect() noexcept {
  Locked(0, [](Connection& c) {
    CloseConnection(c);
    return 0;
  });
}

void SettingsDatabase::CancelOperation(bool abort, std::chrono::milliseconds wait) noexcept {
  // No lock: the worker holds it through the call being cancelled. The connection object is
  // made and freed only while no worker thread runs.
  if (connection_) {
    mox::CancelOperation(*connection_, abort ? DBCancelKind::kAbort : DBCancelKind::kRaise, wait);
  }
}

}  // namespace mox
