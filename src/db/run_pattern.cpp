#include "db/run_pattern.h"

#include <exception>

#include "config/write_protocol.h"
#include "db/db_objects.h"
#include "db/db_tools.h"
#include "db/elapsed_field.h"

namespace mox {
namespace {

std::string CurrentErrorText() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown error";
  }
}

// Leaves gDBLock on every path out of the operation.
class DBLockGuard {
 public:
  DBLockGuard() { LockDB(); }
  ~DBLockGuard() { UnlockDB(); }
  DBLockGuard(const DBLockGuard&) = delete;
  DBLockGuard& operator=(const DBLockGuard&) = delete;
};

int32_t RunLocked(const DBOperation& operation) {
  int32_t result = -1;
  const int64_t start = GetMsCounter();
  if (DBOpen() != 0 || !gTransaction || !gQuery) return result;

  TTransaction& transaction = *gTransaction;
  TQuery& query = *gQuery;
  try {
    if (transaction.Active()) transaction.Commit();
    transaction.Start();
    operation.set_sql(*gDatabase, query);
    query.Open();
    try {
      if (!query.Eof() && !query.IsNull(0)) operation.read_row(query);
      result = 0;
    } catch (...) {
      // A value that cannot be read is reported by the result alone.
      result = -1;
    }
    query.Close();
    transaction.Commit();
    WriteProtocol(ElapsedField(start) + operation.success_line(result));
  } catch (...) {
    result = -1;
    // Each clean-up step is tried on its own; none of their errors leaves the operation.
    try {
      const std::string message = CurrentErrorText();
      WriteProtocol(ElapsedField(start) + operation.failure_line(message));
    } catch (...) {
    }
    try {
      if (query.IsOpen()) query.Close();
    } catch (...) {
    }
    try {
      if (transaction.Active()) transaction.Rollback();
    } catch (...) {
    }
  }
  return result;
}

}  // namespace

int32_t RunDBOperation(const DBOperation& operation) noexcept {
  try {
    DBLockGuard lock;
    return RunLocked(operation);
  } catch (...) {
    // Only reachable without gDBLock (before InitDBTools or after DoneDBTools).
    return -1;
  }
}

}  // namespace mox
