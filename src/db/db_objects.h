// The process-wide database objects made by CreateDBControls and the lock around their use.
#pragma once

#include <memory>
#include <mutex>

#include "db/database.h"
#include "db/query.h"
#include "db/transaction.h"

namespace mox {

// The one connection, its transaction and its query; null outside InitDBTools..DoneDBTools.
extern std::unique_ptr<TDatabase> gDatabase;
extern std::unique_ptr<TTransaction> gTransaction;
extern std::unique_ptr<TQuery> gQuery;
// Held through each whole database operation.
extern std::unique_ptr<std::mutex> gDBLock;

}  // namespace mox
