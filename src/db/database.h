// TDatabase: one attachment to a database through the client library, with the parameter list of
// its next attach, its SQL dialect, and its idle timer. The transaction and the queries bound to it
// are ended and closed when it closes.
//
// Not thread-safe: the owner serializes every call (the database layer holds gDBLock).
#pragma once

#include <ibase.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/idle_timer.h"

namespace mox {

class FbClient;
class TTransaction;
class TQuery;

class TDatabase {
 public:
  explicit TDatabase(std::shared_ptr<const FbClient> client);
  // Closes a connection still open, ignoring errors, and unbinds the transaction and queries.
  ~TDatabase();
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  const FbClient& Client() const { return *client_; }

  // Also makes this the transaction's one database.
  void SetDefaultTransaction(TTransaction* transaction);
  TTransaction* DefaultTransaction() const { return default_transaction_; }
  void AddQuery(TQuery* query);
  void RemoveQuery(TQuery* query);

  // What the next Connect sends.
  void SetDatabaseName(std::string name) { name_ = std::move(name); }
  const std::string& DatabaseName() const { return name_; }
  void SetParams(std::string user_name, std::string password, std::string lc_ctype);
  // Throws DBError for a negative value; 0 disarms the idle timer.
  void SetIdleTimeout(int32_t ms, int64_t now_ms);
  int32_t IdleTimeout() const { return idle_timer_.Period(); }

  bool Connected() const { return handle_ != 0; }
  // Attaches and reads the database's SQL dialect. Throws DBError ("Database name is missing",
  // a DPB value too long) or FbError.
  void Connect();
  // One database-info request. False when there is no connection or it does not answer (then the
  // connection has been force-closed).
  bool Probe();
  // Normal close: queries closed, the transaction committed (rolled back if that fails, dropped
  // in any case), detach. A failing query close or detach force-closes and throws.
  void Close();
  // The same steps ignoring every error; afterwards there is no connection.
  void ForceClose() noexcept;

  // The dialect statements are prepared in: 3, or the database's own when that is lower.
  unsigned short Dialect() const { return dialect_; }

  // The handle for client calls made on this connection.
  isc_db_handle* Handle() { return &handle_; }

  // What another thread needs to cancel the call running on this connection: the client, and the
  // handle (0 without a connection). Both may be read while the owner is inside a call.
  std::shared_ptr<const FbClient> SharedClient() const { return client_; }
  isc_db_handle PublishedHandle() const { return published_handle_.load(); }

  // Every client call on this connection passes its status here: clears the idle mark, and for an
  // error force-closes a lost connection, then throws FbError. `ends_transaction` widens the lost
  // codes by isc_network_error, for commit and rollback.
  void Check(const ISC_STATUS* status, bool ends_transaction = false);
  // Clears the idle mark for a call whose status is handled elsewhere.
  void Touch() { idle_mark_ = false; }

  // Applies one due idle tick: no connection, nothing; idle mark set, force close; else set it.
  void ServeIdleTick(int64_t now_ms);
  bool IdleMark() const { return idle_mark_; }

  // Facts about the attached database learned once per connection; cleared at every connect.
  std::optional<int>& CachedInputCount() { return cached_input_count_; }

 private:
  void ReadDialect();
  void CloseQueries(bool quietly);

  std::shared_ptr<const FbClient> client_;
  isc_db_handle handle_ = 0;
  // handle_ for other threads: set once attached, cleared before every detach.
  std::atomic<isc_db_handle> published_handle_{0};
  std::string name_;
  std::string user_name_;
  std::string password_;
  std::string lc_ctype_;
  unsigned short dialect_ = 3;
  IdleTimer idle_timer_;
  bool idle_mark_ = false;
  std::optional<int> cached_input_count_;
  TTransaction* default_transaction_ = nullptr;
  std::vector<TQuery*> queries_;
};

// The value of a one-item database-info answer (item, 2-byte length, little-endian integer), or
// nullopt when the answer holds no such item.
std::optional<int64_t> InfoItemValue(const char* buffer, std::size_t size, char item);

}  // namespace mox
