// TTransaction: one transaction of its database, started with an empty parameter block (the
// server's default: snapshot, wait, read-write).
#pragma once

#include <ibase.h>

namespace mox {

class TDatabase;

class TTransaction {
 public:
  TTransaction() = default;
  // Ends a transaction still active as EndQuietly does, and unbinds from the database.
  ~TTransaction();
  TTransaction(const TTransaction&) = delete;
  TTransaction& operator=(const TTransaction&) = delete;

  // Set by TDatabase::SetDefaultTransaction.
  void SetDatabase(TDatabase* database) { database_ = database; }
  TDatabase* Database() const { return database_; }

  bool Active() const { return handle_ != 0; }
  // Throw DBError or FbError; a commit or rollback that fails stays active unless the connection
  // was lost (then the database has been force-closed).
  void Start();
  void Commit();
  void Rollback();

  // For closing the connection: commit, roll back if that fails, drop in any case; no error.
  void EndQuietly() noexcept;

  isc_tr_handle* Handle() { return &handle_; }

 private:
  TDatabase& ConnectedDatabase() const;

  TDatabase* database_ = nullptr;
  isc_tr_handle handle_ = 0;
};

}  // namespace mox
