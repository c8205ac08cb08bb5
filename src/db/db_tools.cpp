#include "db/db_tools.h"

#include <chrono>

#include "config/settings.h"
#include "config/write_protocol.h"
#include "db/db_cancel.h"
#include "db/db_objects.h"
#include "db/elapsed_field.h"
#include "db/fb_client.h"

namespace mox {

std::unique_ptr<TDatabase> gDatabase;
std::unique_ptr<TTransaction> gTransaction;
std::unique_ptr<TQuery> gQuery;
std::unique_ptr<std::mutex> gDBLock;

namespace {

std::string ErrorText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown error";
  }
}

}  // namespace

void InitDBTools() {
  DBAllowConnect();
  gDBLock = std::make_unique<std::mutex>();
  CreateDBControls();
}

void DoneDBTools() noexcept {
  DBClose();
  // After a failed creation there are no objects to free, and no line claims there were.
  if (gDatabase || gQuery || gTransaction) DestroyDBControls();
  gDBLock.reset();
}

void CreateDBControls() {
  // Loading the client library is part of creating the connection object; a failure leaves
  // nothing half made.
  auto database = std::make_unique<TDatabase>(FbClient::Load());
  auto query = std::make_unique<TQuery>();
  auto transaction = std::make_unique<TTransaction>();
  database->SetDefaultTransaction(transaction.get());
  query->SetDatabase(database.get());
  query->SetTransaction(transaction.get());
  gDatabase = std::move(database);
  gQuery = std::move(query);
  gTransaction = std::move(transaction);
  WriteProtocol("CreateDBControls:: OK");
}

void DestroyDBControls() noexcept {
  gTransaction.reset();
  gQuery.reset();
  gDatabase.reset();
  WriteProtocol("DestroyDBControls:: OK");
}

int32_t DBOpen() noexcept {
  // Statement monitoring: the client interface used here publishes no trace of statements,
  // connects or transactions of its own, so there is nothing to switch off.
  int32_t result = -1;
  const int64_t start = GetMsCounter();
  if (!gDatabase) return result;
  if (gDatabase->Connected() && gDatabase->Probe()) return 0;
  if (!DBConnectAllowed()) {
    WriteProtocol(ElapsedField(start) +
                  "DBOpen:: Cannot connect to database: " + kConnectStoppedMessage);
    return result;
  }
  try {
    DBClose();
    gDatabase->SetIdleTimeout(DBTime, GetMsCounter());
    gDatabase->SetDatabaseName(DBFile);
    gDatabase->SetParams(DBUser, DBPass, DBLang);
    WriteProtocol(ElapsedField(start) + "DBOpen:: Connecting to " + DBFile);
    gDatabase->Connect();
    WriteProtocol(ElapsedField(start) + "DBOpen:: Successfully connected to database");
    result = 0;
  } catch (...) {
    const std::string message = ErrorText(std::current_exception());
    WriteProtocol(ElapsedField(start) + "DBOpen:: Cannot connect to database: " + message);
  }
  return result;
}

void DBClose() noexcept {
  const int64_t start = GetMsCounter();
  if (!gDatabase || !gDatabase->Connected() || !gDatabase->Probe()) return;
  try {
    if (gTransaction && gTransaction->Active()) gTransaction->Commit();
  } catch (...) {
    // A failed commit does not keep the connection open.
  }
  // A commit that lost the connection has closed it already.
  if (!gDatabase->Connected()) return;
  try {
    gDatabase->Close();
    WriteProtocol(ElapsedField(start) + "DBClose:: Successfully disconnected from database");
  } catch (...) {
    const std::string message = ErrorText(std::current_exception());
    WriteProtocol(ElapsedField(start) + "DBClose:: Cannot disconnect from database: " + message);
  }
}

void LockDB() {
  if (!gDBLock) throw DBError("The database layer is not initialized");
  gDBLock->lock();
}

void UnlockDB() {
  if (gDBLock) gDBLock->unlock();
}

int64_t GetMsCounter() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void DBServeIdleTicks() noexcept {
  if (!gDBLock) return;
  std::lock_guard lock(*gDBLock);
  if (gDatabase) gDatabase->ServeIdleTick(GetMsCounter());
}

}  // namespace mox
