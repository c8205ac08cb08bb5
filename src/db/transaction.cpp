#include "db/transaction.h"

#include "db/database.h"
#include "db/db_tools.h"
#include "db/fb_client.h"
#include "db/fb_error.h"

namespace mox {
namespace {

// One entry of the transaction existence block that isc_start_multiple takes.
struct TransactionExistenceBlock {
  isc_db_handle* database;
  int tpb_length;
  const char* tpb;
};

}  // namespace

TTransaction::~TTransaction() {
  if (database_ == nullptr) return;
  EndQuietly();
  if (database_->DefaultTransaction() == this) database_->SetDefaultTransaction(nullptr);
}

TDatabase& TTransaction::ConnectedDatabase() const {
  if (database_ == nullptr || !database_->Connected()) throw DBError("Database not connected");
  return *database_;
}

void TTransaction::Start() {
  if (Active()) throw DBError("Transaction is already active");
  TDatabase& database = ConnectedDatabase();
  // No parameters: the server's default transaction.
  TransactionExistenceBlock block{database.Handle(), 0, nullptr};
  ISC_STATUS_ARRAY status;
  database.Client().start_multiple(status, &handle_, 1, &block);
  if (Failed(status)) handle_ = 0;
  database.Check(status);
}

void TTransaction::Commit() {
  if (!Active()) throw DBError("Transaction is not active");
  TDatabase& database = ConnectedDatabase();
  ISC_STATUS_ARRAY status;
  database.Client().commit_transaction(status, &handle_);
  database.Check(status, true);
  handle_ = 0;
}

void TTransaction::Rollback() {
  if (!Active()) throw DBError("Transaction is not active");
  TDatabase& database = ConnectedDatabase();
  ISC_STATUS_ARRAY status;
  database.Client().rollback_transaction(status, &handle_);
  database.Check(status, true);
  handle_ = 0;
}

void TTransaction::EndQuietly() noexcept {
  if (!Active()) return;
  if (database_ != nullptr) {
    ISC_STATUS_ARRAY status;
    database_->Client().commit_transaction(status, &handle_);
    database_->Touch();
    if (Failed(status)) database_->Client().rollback_transaction(status, &handle_);
  }
  handle_ = 0;
}

}  // namespace mox
