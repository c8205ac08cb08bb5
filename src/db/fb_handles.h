// Owning wrappers of the statement and BLOB handles of the client library. Each frees its handle
// when it goes out of scope, ignoring errors (the attachment frees what the server keeps).
#pragma once

#include <ibase.h>

#include <utility>

namespace mox {

class FbClient;

class StatementHandle {
 public:
  StatementHandle() = default;
  explicit StatementHandle(const FbClient& client) : client_(&client) {}
  ~StatementHandle() { Reset(); }
  StatementHandle(StatementHandle&& other) noexcept
      : client_(other.client_), handle_(std::exchange(other.handle_, isc_stmt_handle{})) {}
  StatementHandle& operator=(StatementHandle&& other) noexcept;

  isc_stmt_handle* get() { return &handle_; }
  explicit operator bool() const { return handle_ != 0; }

  // Drops the statement (DSQL_drop). Fills `status`; the handle is gone afterwards either way.
  void Drop(ISC_STATUS* status);
  // Drops it ignoring errors.
  void Reset() noexcept;

 private:
  const FbClient* client_ = nullptr;
  isc_stmt_handle handle_ = 0;
};

class BlobHandle {
 public:
  explicit BlobHandle(const FbClient& client) : client_(&client) {}
  ~BlobHandle();
  BlobHandle(const BlobHandle&) = delete;
  BlobHandle& operator=(const BlobHandle&) = delete;

  isc_blob_handle* get() { return &handle_; }

 private:
  const FbClient* client_;
  isc_blob_handle handle_ = 0;
};

}  // namespace mox
