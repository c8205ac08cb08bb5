#include "db/operations.h"

#include <exception>

#include "config/settings.h"
#include "config/write_protocol.h"
#include "db/connection.h"
#include "db/db_cancel.h"
#include "db/elapsed_field.h"
#include "db/request_integer.h"
#include "log/error_text.h"

namespace mox {
namespace {

// The error text the log lines of the database layer show.
std::string CurrentError() {
  return ErrorText(std::current_exception(), "Unknown error");
}

// An operation's own transaction; one left active by an earlier call is committed first.
void StartOwnTransaction(Connection& connection) {
  if (connection.TransactionActive()) connection.Commit();
  connection.StartTransaction();
}

// True when the statement found a first row whose first column is not NULL.
bool HasValue(const Connection& connection) {
  return !connection.Eof() && !connection.IsNull(0);
}

// The success path's end: statement freed, transaction committed, the result line logged.
void Finish(Connection& connection, int64_t start, const std::string& line) {
  connection.CloseStatement();
  connection.Commit();
  WriteProtocol(ElapsedField(start) + line);
}

// The failure path, inside a catch block: the failure line, then statement and transaction ended.
// Each step is tried on its own; none of their errors leaves the operation.
void Fail(Connection& connection, int64_t start, const std::string& head) noexcept {
  try {
    const std::string message = CurrentError();
    WriteProtocol(ElapsedField(start) + head + ":: FAIL: " + message);
  } catch (...) {
  }
  try {
    if (connection.StatementOpen()) connection.CloseStatement();
  } catch (...) {
  }
  try {
    if (connection.TransactionActive()) connection.Rollback();
  } catch (...) {
  }
}

std::string ResultLine(const std::string& head, int32_t result) {
  return head + ":: Res=" + std::to_string(result);
}

// Whether SP_SETMODIFIEDSTATEBYID takes the state as a second input is up to the database; its
// input count is looked up once per connection.
int SetModifiedStateInputCount(Connection& connection) {
  std::optional<int>& cached = connection.CachedInputCount();
  if (!cached) {
    connection.SetSql(
        "SELECT COUNT(*) FROM RDB$PROCEDURE_PARAMETERS WHERE RDB$PROCEDURE_NAME = ? AND "
        "RDB$PARAMETER_TYPE = 0 AND RDB$PACKAGE_NAME IS NULL");
    connection.AddTextParam("SP_SETMODIFIEDSTATEBYID");
    connection.OpenStatement();
    const int count = connection.AsInteger(0);
    connection.CloseStatement();
    cached = count;
  }
  return *cached;
}

struct BlockingCall {
  const char* operation;     // name in the log lines
  const char* sql;           // procedure call with one marker per value
  const char* text_keys[4];  // list keys of the text values, in parameter order
  int text_count;
  int32_t last_integer;
};

BlockingResult RunBlocking(Connection& connection, const BlockingCall& call, RequestList list) {
  // Passwords never reach a log line; the procedure gets the values as they are.
  const std::string head = std::string(call.operation) + "(" + list.CommaTextForLog() + ")";
  const int64_t start = GetMsCounter();
  if (OpenConnection(connection) != 0) return {-1, std::move(list)};
  try {
    StartOwnTransaction(connection);
    connection.SetSql(call.sql);
    for (int i = 0; i < call.text_count; ++i)
      connection.AddTextParam(list.Value(call.text_keys[i]));
    connection.AddIntegerParam(call.last_integer);
    connection.OpenStatement();
    int32_t result = 0;
    try {
      if (HasValue(connection)) {
        for (int i = 0; i < connection.FieldCount(); ++i) {
          const std::string value = connection.AsText(i);
          list.SetValue(connection.FieldName(i), value);
        }
      }
    } catch (...) {
      result = -1;  // a value that cannot be read is reported by the result alone
    }
    Finish(connection, start, ResultLine(head, result) + ", Data=" + list.CommaTextForLog());
    return {result, std::move(list)};
  } catch (...) {
    Fail(connection, start, head);
    return {-1, std::move(list)};
  }
}

}  // namespace

int32_t OpenConnection(Connection& connection) noexcept {
  // Statement monitoring: the client interface used here publishes no trace of statements,
  // connects or transactions of its own, so there is nothing to switch off.
  const int64_t start = GetMsCounter();
  if (connection.Connected() && connection.Probe()) return 0;
  if (connection.ReconnectRefused()) {
    WriteProtocol(ElapsedField(start) +
                  "DBOpen:: Cannot connect to database: " + kConnectStoppedMessage);
    return -1;
  }
  try {
    CloseConnection(connection);
    connection.SetIdleTimeout(gDBTime, GetMsCounter());
    connection.SetDatabaseName(gDBFile);
    connection.SetParams(gDBUser, gDBPass, gDBLang);
    WriteProtocol(ElapsedField(start) + "DBOpen:: Connecting to " + gDBFile);
    connection.Connect();
    WriteProtocol(ElapsedField(start) + "DBOpen:: Successfully connected to database");
    return 0;
  } catch (...) {
    WriteProtocol(ElapsedField(start) + "DBOpen:: Cannot connect to database: " + CurrentError());
    return -1;
  }
}

void CloseConnection(Connection& connection) noexcept {
  const int64_t start = GetMsCounter();
  if (!connection.Connected() || !connection.Probe()) return;
  try {
    if (connection.TransactionActive()) connection.Commit();
  } catch (...) {
    // A failed commit does not keep the connection open.
  }
  // A commit that lost the connection has closed it already.
  if (!connection.Connected()) return;
  try {
    connection.Close();
    WriteProtocol(ElapsedField(start) + "DBClose:: Successfully disconnected from database");
  } catch (...) {
    WriteProtocol(ElapsedField(start) +
                  "DBClose:: Cannot disconnect from database: " + CurrentError());
  }
}

int32_t GetDataById(Connection& connection, const std::string& id, int16_t& value,
                    std::string& text) noexcept {
  const std::string head = "DBGetDataByID(ID=" + id + ")";
  const int64_t start = GetMsCounter();
  if (OpenConnection(connection) != 0) return -1;
  try {
    StartOwnTransaction(connection);
    connection.SetSql("SELECT * FROM SP_GETDATABYID(?)");
    connection.AddTextParam(id);
    connection.OpenStatement();
    int32_t result = 0;
    try {
      if (HasValue(connection)) {
        // Only the low 16 bits are kept, as a signed number.
        value = static_cast<int16_t>(static_cast<uint16_t>(connection.AsInteger(0) & 0xFFFF));
        text = connection.AsText(1);
      }
    } catch (...) {
      result = -1;
    }
    Finish(connection, start, ResultLine(head, result));
    return result;
  } catch (...) {
    Fail(connection, start, head);
    return -1;
  }
}

int32_t GetModifiedStateById(Connection& connection, const std::string& id,
                             int32_t& state) noexcept {
  const std::string head = "DBGetModifiedStateByID(ID=" + id + ")";
  const int64_t start = GetMsCounter();
  if (OpenConnection(connection) != 0) return -1;
  try {
    StartOwnTransaction(connection);
    connection.SetSql("SELECT * FROM SP_GETMODIFIEDSTATEBYID(?)");
    connection.AddTextParam(id);
    connection.OpenStatement();
    int32_t result = 0;
    try {
      if (HasValue(connection)) state = connection.AsInteger(0);
    } catch (...) {
      result = -1;
    }
    Finish(connection, start, ResultLine(head, result));
    return result;
  } catch (...) {
    Fail(connection, start, head);
    return -1;
  }
}

int32_t SetModifiedStateById(Connection& connection, const std::string& id, uint8_t state,
                             int32_t& value) noexcept {
  const std::string head =
      "DBSetModifiedStateByID(ID=" + id + ", State=" + std::to_string(unsigned{state}) + ")";
  const int64_t start = GetMsCounter();
  if (OpenConnection(connection) != 0) return -1;
  try {
    StartOwnTransaction(connection);
    if (SetModifiedStateInputCount(connection) == 2) {
      connection.SetSql("SELECT * FROM SP_SETMODIFIEDSTATEBYID(?, ?)");
      connection.AddTextParam(id);
      connection.AddIntegerParam(state);
    } else {
      connection.SetSql("SELECT * FROM SP_SETMODIFIEDSTATEBYID(?)");
      connection.AddTextParam(id);
    }
    connection.OpenStatement();
    int32_t result = 0;
    try {
      if (HasValue(connection)) value = connection.AsInteger(0);
    } catch (...) {
      result = -1;
    }
    Finish(connection, start, ResultLine(head, result));
    return result;
  } catch (...) {
    Fail(connection, start, head);
    return -1;
  }
}

BlockingResult BlockingsGetData(Connection& connection, RequestList list) noexcept {
  const int32_t with_password = list.HasName("BlockNumberPWD") ? 1 : 0;
  return RunBlocking(connection,
                     {"DBBlockings_GetData",
                      "SELECT * FROM SP_BLOCKINGS_GETDATA(?, ?, ?, ?)",
                      {"OfficeID", "BlockNumber", "BlockNumberPWD"},
                      3,
                      with_password},
                     std::move(list));
}

BlockingResult BlockingsSetPwd(Connection& connection, RequestList list) noexcept {
  const int32_t result = ParseRequestInteger(list.Value("Result"), 1);
  return RunBlocking(connection,
                     {"DBBlockings_SetPwd",
                      "SELECT * FROM SP_BLOCKINGS_SETPWD(?, ?, ?, ?, ?)",
                      {"OfficeID", "BlockNumber", "BlockNumberPWD", "BlockNumberPWDNew"},
                      4,
                      result},
                     std::move(list));
}

BlockingResult BlockingsSetLink(Connection& connection, RequestList list) noexcept {
  const int32_t status = ParseRequestInteger(list.Value("NumberStatus"), 1);
  return RunBlocking(connection,
                     {"DBBlockings_SetLink",
                      "SELECT * FROM SP_BLOCKINGS_SETLINK(?, ?, ?, ?, ?)",
                      {"OfficeID", "BlockNumber", "BlockNumberPWD", "LinkNumber"},
                      4,
                      status},
                     std::move(list));
}

}  // namespace mox
