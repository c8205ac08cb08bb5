// The one connection to the settings database, its transaction and query objects, and the lock
// that lets one operation at a time use them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace mox {

// An error of the database layer; what() is the message text that goes into log lines.
class DBError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Creates gDBLock, then CreateDBControls. Throws DBError when the client library cannot be loaded
// ("InterBase library libfbclient.so.2 not found in the path. Please install InterBase to use this
// functionality"); gDBLock exists by then.
void InitDBTools();
// DBClose, DestroyDBControls, then deletes gDBLock; releases only what exists. Never throws.
void DoneDBTools() noexcept;

// Creates gDatabase, gQuery and gTransaction (no connection). Throws DBError.
void CreateDBControls();
// Frees them, closing a connection that is still open. Never throws.
void DestroyDBControls() noexcept;

// 0 when gDatabase is connected and usable (probing a kept connection, connecting anew otherwise),
// -1 when connecting failed (already logged). Never throws. Call with gDBLock held.
int32_t DBOpen() noexcept;
// Commits an open transaction and detaches, logging the outcome. Never throws.
void DBClose() noexcept;

void LockDB();
void UnlockDB();

// Milliseconds of a steady clock; only differences mean anything.
int64_t GetMsCounter();

// Applies the idle-timer ticks that are due (closing a connection left unused for one to two
// periods of DBTime). The worker calls it once per loop pass, between commands. Never throws.
void DBServeIdleTicks() noexcept;

}  // namespace mox
