#include "db/fb_handles.h"

#include "db/fb_client.h"

namespace mox {

StatementHandle& StatementHandle::operator=(StatementHandle&& other) noexcept {
  if (this != &other) {
    Reset();
    client_ = other.client_;
    handle_ = std::exchange(other.handle_, isc_stmt_handle{});
  }
  return *this;
}

void StatementHandle::Drop(ISC_STATUS* status) {
  status[0] = 1;
  status[1] = 0;
  status[2] = isc_arg_end;
  if (handle_ == 0 || client_ == nullptr) return;
  client_->dsql_free_statement(status, &handle_, DSQL_drop);
  handle_ = 0;
}

void StatementHandle::Reset() noexcept {
  ISC_STATUS_ARRAY status;
  Drop(status);
}

BlobHandle::~BlobHandle() {
  if (handle_ == 0) return;
  ISC_STATUS_ARRAY status;
  client_->close_blob(status, &handle_);
}

}  // namespace mox
