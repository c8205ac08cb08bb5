// SettingsDatabase: the worker's database: the one connection to the settings database and the six
// operations on it, one stored procedure each. Each operation opens the connection if needed, runs
// its procedure in a transaction of its own, reads the first row, commits and logs the outcome
// through WriteProtocol; it returns 0 on success or -1 on any failure and never throws.
//
// Thread safety: only the worker thread calls it, except CancelOperation, the one call from another
// thread (the one stopping the worker), which reads only what Connection publishes for that.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "db/database_access.h"
#include "db/fb_client.h"

namespace mox {

class Connection;

class SettingsDatabase final : public DatabaseAccess {
 public:
  // `client_library_names`: the client libraries Init tries, in order.
  explicit SettingsDatabase(std::vector<std::string> client_library_names = ClientLibraryNames());
  ~SettingsDatabase() override;
  SettingsDatabase(const SettingsDatabase&) = delete;
  SettingsDatabase& operator=(const SettingsDatabase&) = delete;

  // Keeps the connection settings, loads the client library and makes the connection object (no
  // connection yet), logging "CreateDBControls:: OK". Throws DatabaseError when the client library
  // cannot be loaded ("InterBase library libfbclient.so.2 not found in the path. Please install
  // InterBase to use this functionality").
  void Init(const Settings& settings) override;
  // Closes an open connection (logged) and frees the connection object, logging
  // "DestroyDBControls:: OK" when there was one.
  void Done() noexcept override;

  int32_t GetDataById(const std::string& id, int16_t& value, std::string& text) override;
  int32_t GetModifiedStateById(const std::string& id, int32_t& state) override;
  int32_t SetModifiedStateById(const std::string& id, uint8_t state, int32_t& value) override;
  BlockingResult BlockingsGetData(RequestList list) override;
  BlockingResult BlockingsSetPwd(RequestList list) override;
  BlockingResult BlockingsSetLink(RequestList list) override;

  // Applies the idle-timer ticks that are due (closing a connection left unused for one to two
  // periods of DBTime).
  void ServeIdleTicks() noexcept override;
  // Commits an open transaction and detaches, logging the outcome.
  void Disconnect() noexcept override;
  // From the thread stopping the worker, while the worker may be inside a call on the connection.
  // The connection object is made and freed only while no worker thread runs, so reading the
  // pointer is safe; the connection itself is touched only through what it publishes for other
  // threads.
  void CancelOperation(bool abort, std::chrono::milliseconds wait) noexcept override;

  // 0 when the connection is usable (probing a kept connection, connecting anew otherwise), -1
  // when connecting failed (logged), or before Init.
  int32_t Open() noexcept;

  // What the next connect uses; set by Init, and changed by tests between operations.
  Settings& settings() { return settings_; }
  // The connection object between Init and Done, else null.
  Connection* CurrentConnection() { return connection_.get(); }

 private:
  struct ProcedureCall;
  struct FirstRow;

  // Open if needed, a transaction of its own (one left active by an earlier call is committed
  // first), run the procedure, read the first row, commit, log.
  int32_t CallProcedure(const ProcedureCall& call, FirstRow& row) noexcept;
  // The blocking procedures take the text values of `keys` from the list, then one integer, and
  // give every column of their first row back into the list.
  BlockingResult CallBlockingProcedure(const char* name, const char* procedure,
                                       std::initializer_list<const char*> keys,
                                       int32_t last_integer, RequestList list) noexcept;
  // Whether SP_SETMODIFIEDSTATEBYID takes the state as a second input is up to the database.
  int SetModifiedStateInputCount();

  const std::vector<std::string> client_library_names_;
  Settings settings_;
  std::unique_ptr<Connection> connection_;
};

}  // namespace mox
