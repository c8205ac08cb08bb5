// SettingsDatabase: the worker's database. It owns the connection and the lock that lets one
// operation at a time use it; every operation runs under that lock. A cancel from the thread that
// stops the worker takes no lock (see CancelOperation).
#pragma once

#include <memory>

#include "base/thread_annotations.h"
#include "db/database_access.h"

namespace mox {

class Connection;

class SettingsDatabase final : public DatabaseAccess {
 public:
  SettingsDatabase();
  ~SettingsDatabase() override;
  SettingsDatabase(const SettingsDatabase&) = delete;
  SettingsDatabase& operator=(const SettingsDatabase&) = delete;

  // Loads the client library and makes the connection object (no connection yet), logging
  // "CreateDBControls:: OK". Throws DBError when the client library cannot be loaded ("InterBase
  // library libfbclient.so.2 not found in the path. Please install InterBase to use this
  // functionality").
  void Init() override EXCLUDES(lock_);
  // Closes an open connection (logged) and frees the connection object, logging
  // "DestroyDBControls:: OK" when there was one.
  void Done() noexcept override EXCLUDES(lock_);

  int32_t GetDataById(const std::string& id, int16_t& value, std::string& text) override;
  int32_t GetModifiedStateById(const std::string& id, int32_t& state) override;
  int32_t SetModifiedStateById(const std::string& id, uint8_t state, int32_t& value) override;
  BlockingResult BlockingsGetData(RequestList list) override;
  BlockingResult BlockingsSetPwd(RequestList list) override;
  BlockingResult BlockingsSetLink(RequestList list) override;

  // Applies the idle-timer ticks that are due (closing a connection left unused for one to two
  // periods of DBTime).
  void ServeIdleTicks() noexcept override;
  void Disconnect() noexcept override;
  // Takes no lock: the worker holds it through the call being cancelled.
  void CancelOperation(bool abort,
                       std::chrono::milliseconds wait) noexcept override NO_THREAD_SAFETY_ANALYSIS;

  // The connection object between Init and Done, else null; for a look from outside while no
  // operation runs.
  Connection* CurrentConnection() NO_THREAD_SAFETY_ANALYSIS { return connection_.get(); }

 private:
  // Runs `operation` on the connection under the lock; `failed` without a connection object.
  template <typename Result, typename Operation>
  Result Locked(Result failed, Operation operation) noexcept EXCLUDES(lock_);

  Mutex lock_;
  // Made and freed only while no worker thread runs, so that a cancel may read it unlocked.
  std::unique_ptr<Connection> connection_ GUARDED_BY(lock_);
};

}  // namespace mox
