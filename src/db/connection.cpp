#include "db/connection.h"

#include <algorithm>

#include "db/database_error.h"
#include "db/dpb.h"
#include "db/fb_client.h"
#include "db/fb_error.h"
#include "db/xsqlda_buffer.h"

namespace mox {
namespace {

// The probe asks for one short item; the buffer is generous as the client library expects.
constexpr std::size_t kInfoBufferSize = 512;

// One entry of the transaction existence block that isc_start_multiple takes.
struct TransactionExistenceBlock {
  isc_db_handle* database;
  int tpb_length;
  const char* tpb;
};

}  // namespace

std::optional<int64_t> InfoItemValue(const char* buffer, std::size_t size, char item) {
  std::size_t i = 0;
  while (i + 3 <= size) {
    const char code = buffer[i];
    if (code == isc_info_end || code == isc_info_truncated || code == isc_info_error) break;
    const auto length = static_cast<std::size_t>(static_cast<unsigned char>(buffer[i + 1]) |
                                                 static_cast<unsigned char>(buffer[i + 2]) << 8);
    if (i + 3 + length > size) break;
    if (code == item) {
      int64_t value = 0;
      for (std::size_t k = 0; k < length && k < 8; ++k)
        value |= static_cast<int64_t>(static_cast<unsigned char>(buffer[i + 3 + k])) << (8 * k);
      return value;
    }
    i += 3 + length;
  }
  return std::nullopt;
}

Connection::Connection(std::shared_ptr<const FbClient> client)
    : client_(std::move(client)), statement_(*client_) {}

Connection::~Connection() {
  ForceClose();
}

void Connection::SetParams(std::string user_name, std::string password, std::string lc_ctype) {
  user_name_ = std::move(user_name);
  password_ = std::move(password);
  lc_ctype_ = std::move(lc_ctype);
}

void Connection::SetIdleTimeout(int32_t ms, int64_t now_ms) {
  if (ms < 0) throw DatabaseError("Timeout values cannot be negative");
  idle_timer_.SetPeriod(ms, now_ms);
}

void Connection::Check(const ISC_STATUS* status, bool ends_transaction) {
  Touch();
  if (!Failed(status)) return;
  FbError error = MakeFbError(*client_, status);
  if (ends_transaction ? IsLostConnectionOnTransactionEnd(error) : IsLostConnection(error))
    ForceClose();
  throw error;
}

void Connection::Connect() {
  if (Connected()) return;
  if (name_.empty()) throw DatabaseError("Database name is missing");
  const std::string dpb = BuildDpb(user_name_, password_, lc_ctype_);
  ISC_STATUS_ARRAY status;
  isc_db_handle handle = 0;
  client_->attach_database(status, static_cast<short>(name_.size()), name_.data(), &handle,
                           static_cast<short>(dpb.size()), dpb.data());
  if (Failed(status)) throw MakeFbError(*client_, status);
  handle_ = handle;
  published_handle_.store(handle);
  Touch();
  cached_input_count_.reset();
  try {
    ReadDialect();
  } catch (...) {
    // A connection whose dialect is unknown is not used.
    ForceClose();
    throw;
  }
}

void Connection::ReadDialect() {
  const char items[] = {isc_info_db_sql_dialect, isc_info_end};
  char buffer[kInfoBufferSize] = {};
  ISC_STATUS_ARRAY status;
  client_->database_info(status, &handle_, sizeof items, items, sizeof buffer, buffer);
  Check(status);
  // A server that does not know the item speaks dialect 1.
  const int64_t database_dialect =
      InfoItemValue(buffer, sizeof buffer, isc_info_db_sql_dialect).value_or(1);
  dialect_ = static_cast<unsigned short>(std::clamp<int64_t>(database_dialect, 1, 3));
}

bool Connection::Probe() {
  if (!Connected()) return false;
  const char items[] = {isc_info_base_level, isc_info_end};
  char buffer[kInfoBufferSize];
  ISC_STATUS_ARRAY status;
  client_->database_info(status, &handle_, sizeof items, items, sizeof buffer, buffer);
  Touch();
  if (!Failed(status)) return true;
  ForceClose();
  return false;
}

void Connection::Close() {
  if (!Connected()) return;
  try {
    DropStatement(false);
  } catch (...) {
    ForceClose();
    throw;
  }
  EndTransactionQuietly();
  published_handle_.store(0);
  ISC_STATUS_ARRAY status;
  client_->detach_database(status, &handle_);
  if (Failed(status)) {
    FbError error = MakeFbError(*client_, status);
    ForceClose();
    throw error;
  }
  handle_ = 0;
}

void Connection::ForceClose() noexcept {
  if (!Connected()) return;
  DropStatement(true);
  EndTransactionQuietly();
  published_handle_.store(0);
  ISC_STATUS_ARRAY status;
  client_->detach_database(status, &handle_);
  handle_ = 0;
}

void Connection::ServeIdleTick(int64_t now_ms) {
  if (!idle_timer_.TakeDueTick(now_ms) || !Connected()) return;
  if (idle_mark_)
    ForceClose();
  else
    idle_mark_ = true;
}

void Connection::StartTransaction() {
  if (TransactionActive()) throw DatabaseError("Transaction is already active");
  if (!Connected()) throw DatabaseError("Database not connected");
  // No parameters: the server's default transaction.
  TransactionExistenceBlock block{&handle_, 0, nullptr};
  ISC_STATUS_ARRAY status;
  client_->start_multiple(status, &transaction_, 1, &block);
  if (Failed(status)) transaction_ = 0;
  Check(status);
}

void Connection::Commit() {
  EndTransaction(client_->commit_transaction);
}

void Connection::Rollback() {
  EndTransaction(client_->rollback_transaction);
}

void Connection::EndTransaction(decltype(&isc_commit_transaction) end) {
  if (!TransactionActive()) throw DatabaseError("Transaction is not active");
  if (!Connected()) throw DatabaseError("Database not connected");
  ISC_STATUS_ARRAY status;
  end(status, &transaction_);
  Check(status, true);
  transaction_ = 0;
}

Transaction::~Transaction() {
  if (committed_) return;
  try {
    if (connection_.StatementOpen()) connection_.CloseStatement();
  } catch (...) {
  }
  try {
    if (connection_.TransactionActive()) connection_.Rollback();
  } catch (...) {
  }
}

void Connection::EndTransactionQuietly() noexcept {
  if (!TransactionActive()) return;
  ISC_STATUS_ARRAY status;
  client_->commit_transaction(status, &transaction_);
  Touch();
  if (Failed(status)) client_->rollback_transaction(status, &transaction_);
  transaction_ = 0;
}

}  // namespace mox
