// Errors reported by the client library, turned into owned text and status codes at once so that no
// raw status vector travels beyond the call that filled it.
#pragma once

#include <ibase.h>

#include <string>
#include <vector>

#include "db/database_error.h"

namespace mox {

class FbClient;

class FbError : public DatabaseError {
 public:
  FbError(const std::string& message, std::vector<ISC_STATUS> codes)
      : DatabaseError(message), codes_(std::move(codes)) {}

  // The error codes (isc_arg_gds entries) of the status vector, in order.
  const std::vector<ISC_STATUS>& Codes() const { return codes_; }
  bool Has(ISC_STATUS code) const;

 private:
  std::vector<ISC_STATUS> codes_;
};

// True when `status` reports an error (a warning alone is no error).
inline bool Failed(const ISC_STATUS* status) {
  return status[0] == 1 && status[1] != 0;
}

// The error codes of a status vector.
std::vector<ISC_STATUS> StatusCodes(const ISC_STATUS* status);

// The client's messages joined by CR LF (none added after a message that ends in LF), with one
// final "." removed.
std::string JoinClientMessages(const std::vector<std::string>& messages);

// The error of a failed call, its text interpreted by the client library.
FbError MakeFbError(const FbClient& client, const ISC_STATUS* status);

// The connection is gone (lost connection, network read or write error).
bool IsLostConnection(const FbError& error);
// Also isc_network_error, which counts as lost only for a commit or rollback.
bool IsLostConnectionOnTransactionEnd(const FbError& error);

}  // namespace mox
