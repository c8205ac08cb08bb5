// Connection: the one attachment to the settings database, with its transaction and its statement.
// Every client handle it holds is released when it closes or goes; nothing outside holds a pointer
// into it. Only the worker thread calls it, except for the handle and client read by a cancel
// request from another thread.
#pragma once

#include <ibase.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "db/fb_handles.h"
#include "db/idle_timer.h"

namespace mox {

class FbClient;
class XsqldaBuffer;

class Connection {
 public:
  explicit Connection(std::shared_ptr<const FbClient> client);
  // Closes a connection still open, ignoring errors.
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // What the next Connect sends.
  void SetDatabaseName(std::string name) { name_ = std::move(name); }
  void SetParams(std::string user_name, std::string password, std::string lc_ctype);
  // Throws DatabaseError for a negative value; 0 disarms the idle timer.
  void SetIdleTimeout(int32_t ms, int64_t now_ms);

  bool Connected() const { return handle_ != 0; }
  // Attaches and reads the database's SQL dialect. Throws DatabaseError ("Database name is
  // missing", a DPB value too long) or FbError.
  void Connect();
  // One database-info request. False when there is no connection or it does not answer (then the
  // connection has been force-closed).
  bool Probe();
  // Normal close: statement freed, the transaction committed (rolled back if that fails, dropped
  // in any case), detach. A failing statement free or detach force-closes and throws.
  void Close();
  // The same steps ignoring every error; afterwards there is no connection.
  void ForceClose() noexcept;

  // The dialect statements are prepared in: 3, or the database's own when that is lower.
  unsigned short Dialect() const { return dialect_; }

  // Applies one due idle tick: no connection, nothing; idle mark set, force close; else set it.
  void ServeIdleTick(int64_t now_ms);
  bool IdleMark() const { return idle_mark_; }

  // Facts about the attached database learned once per connection; cleared at every connect.
  std::optional<int>& CachedInputCount() { return cached_input_count_; }

  // What another thread needs to cancel the call running on this connection: the client, and the
  // handle (0 without a connection). Both may be read while the owner is inside a call.
  std::shared_ptr<const FbClient> SharedClient() const { return client_; }
  isc_db_handle PublishedHandle() const { return published_handle_.load(); }
  // Set by a cancel that drops the connection: no new connection is made afterwards, so that a
  // worker being stopped does not start to wait on a new connect.
  void RefuseReconnect() noexcept { reconnect_refused_.store(true); }
  bool ReconnectRefused() const noexcept { return reconnect_refused_.load(); }

  // The transaction, started with an empty parameter block (the server's default: snapshot, wait,
  // read-write). Throw DatabaseError or FbError; a commit or rollback that fails stays active
  // unless the connection was lost (then it has been force-closed).
  bool TransactionActive() const { return transaction_ != 0; }
  void StartTransaction();
  void Commit();
  void Rollback();

  // The statement. Every text and integer value travels as a parameter, never inside the SQL text:
  // `params` are the values for the "?" markers of `sql`, in order.
  using Params = std::vector<std::variant<std::string, int32_t>>;
  // Prepares and executes the statement in the transaction; it stays prepared until
  // CloseStatement. Throws DatabaseError/FbError; on failure the statement is freed again.
  void ExecuteStatement(const std::string& sql, const Params& params = {});
  // ExecuteStatement, then the first row fetched.
  void OpenStatement(const std::string& sql, const Params& params = {});
  bool StatementOpen() const { return statement_open_; }
  // True when the result had no row.
  bool Eof() const { return eof_; }
  // Frees the statement; a failure is thrown after the statement is marked closed.
  void CloseStatement();

  // The current row's columns, by position.
  int FieldCount() const;
  bool IsNull(int index) const;
  // As the database reports the column: its alias, else its name (for a selectable procedure, the
  // output parameter's name), in the reported letter case.
  std::string FieldName(int index) const;
  std::string AsText(int index);
  int32_t AsInteger(int index);

 private:
  // Every client call passes its status here: clears the idle mark, and for an error force-closes
  // a lost connection, then throws FbError. `ends_transaction` widens the lost codes by
  // isc_network_error, for commit and rollback.
  void Check(const ISC_STATUS* status, bool ends_transaction = false);
  // Clears the idle mark for a call whose status is handled elsewhere.
  void Touch() { idle_mark_ = false; }
  void ReadDialect();
  void RequireTransaction() const;
  // Commit or rollback, by the client's entry point.
  void EndTransaction(decltype(&isc_commit_transaction) end);
  void EndTransactionQuietly() noexcept;
  void BindParams(const Params& params, XsqldaBuffer& input);
  void DropStatement(bool quietly);
  const XSQLVAR& Column(int index) const;
  std::string ReadBlob(const ISC_QUAD& id);

  std::shared_ptr<const FbClient> client_;
  isc_db_handle handle_ = 0;
  // handle_ for other threads: set once attached, cleared before every detach.
  std::atomic<isc_db_handle> published_handle_{0};
  std::atomic<bool> reconnect_refused_{false};
  std::string name_;
  std::string user_name_;
  std::string password_;
  std::string lc_ctype_;
  unsigned short dialect_ = 3;
  IdleTimer idle_timer_;
  bool idle_mark_ = false;
  std::optional<int> cached_input_count_;

  isc_tr_handle transaction_ = 0;

  StatementHandle statement_;
  std::unique_ptr<XsqldaBuffer> output_;
  bool statement_open_ = false;
  bool eof_ = true;
};

// A transaction on a connection that ends in a rollback unless committed: leaving its scope by an
// error frees the statement and rolls back, each step ignoring its own errors.
class Transaction {
 public:
  // Throws as Connection::StartTransaction does.
  explicit Transaction(Connection& connection) : connection_(connection) {
    connection_.StartTransaction();
  }
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void Commit() {
    connection_.Commit();
    committed_ = true;
  }

 private:
  Connection& connection_;
  bool committed_ = false;
};

// The value of a one-item database-info answer (item, 2-byte length, little-endian integer), or
// nullopt when the answer holds no such item.
std::optional<int64_t> InfoItemValue(const char* buffer, std::size_t size, char item);

}  // namespace mox
