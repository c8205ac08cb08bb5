#include "db/settings_database.h"

#include <exception>
#include <functional>
#include <initializer_list>
#include <optional>
#include <vector>

#include "db/connection.h"
#include "db/db_cancel.h"
#include "db/elapsed_field.h"
#include "db/fb_client.h"
#include "db/request_integer.h"
#include "log/error_text.h"
#include "log/log_text.h"
#include "log/program_log.h"

namespace mox {
namespace {

// The error text the log lines of the database layer show.
std::string CurrentError() {
  return ErrorText(std::current_exception(), "Unknown error");
}

int CountProcedureInputs(Connection& connection, const char* sql) {
  connection.OpenStatement(sql, {std::string("SP_SETMODIFIEDSTATEBYID")});
  const int count = connection.AsInteger(0);
  connection.CloseStatement();
  return count;
}

}  // namespace

// One stored procedure call: its inputs, and where its first row goes.
struct SettingsDatabase::ProcedureCall {
  // What the log lines begin with, before "::"; made only when Protocol is on, since escaping
  // and masking the values cost more than the rest of the plug-in's own work on a command.
  std::function<std::string()> head;
  const char* procedure;
  Connection::Params inputs;
  // SP_SETMODIFIEDSTATEBYID's state: a further input only where the procedure takes two.
  std::optional<int32_t> state;
  bool read_text = false;               // column 1 as text, after column 0 as an integer
  RequestList* columns_into = nullptr;  // every column by its name, instead
};

// The first row's values, where it had one with a non-NULL first column.
struct SettingsDatabase::FirstRow {
  std::optional<int32_t> number;
  std::optional<std::string> text;
};

SettingsDatabase::SettingsDatabase(std::vector<std::string> client_library_names)
    : client_library_names_(std::move(client_library_names)) {}

SettingsDatabase::~SettingsDatabase() {
  Done();
}

void SettingsDatabase::Init(const Settings& settings) {
  settings_ = settings;
  connection_ = std::make_unique<Connection>(FbClient::Load(client_library_names_));
  WriteProtocol("CreateDBControls:: OK");
}

void SettingsDatabase::Done() noexcept {
  // After a failed creation there is no object to free, and no line claims there was.
  if (!connection_) return;
  Disconnect();
  connection_.reset();
  WriteProtocol("DestroyDBControls:: OK");
}

int32_t SettingsDatabase::Open() noexcept {
  // Statement monitoring: the client interface used here publishes no trace of statements,
  // connects or transactions of its own, so there is nothing to switch off.
  if (!connection_) return -1;
  Connection& connection = *connection_;
  const int64_t start = SteadyMilliseconds();
  if (connection.Connected() && connection.Probe()) return 0;
  if (connection.ReconnectRefused()) {
    WriteProtocol(ElapsedField(start) +
                  "DBOpen:: Cannot connect to database: " + kConnectStoppedMessage);
    return -1;
  }
  try {
    Disconnect();
    connection.SetIdleTimeout(settings_.db_time, SteadyMilliseconds());
    connection.SetDatabaseName(settings_.db_file);
    connection.SetParams(settings_.db_user, settings_.db_pass, settings_.db_lang);
    WriteProtocol(ElapsedField(start) + "DBOpen:: Connecting to " + SafeForLog(settings_.db_file));
    connection.Connect();
    WriteProtocol(ElapsedField(start) + "DBOpen:: Successfully connected to database");
    return 0;
  } catch (...) {
    WriteProtocol(ElapsedField(start) + "DBOpen:: Cannot connect to database: " + CurrentError());
    return -1;
  }
}

void SettingsDatabase::Disconnect() noexcept {
  if (!connection_) return;
  Connection& connection = *connection_;
  const int64_t start = SteadyMilliseconds();
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

void SettingsDatabase::ServeIdleTicks() noexcept {
  if (!connection_) return;
  try {
    connection_->ServeIdleTick(SteadyMilliseconds());
  } catch (...) {
  }
}

void SettingsDatabase::CancelOperation(bool abort, std::chrono::milliseconds wait) noexcept {
  if (connection_) {
    CancelRunningCall(*connection_, abort ? CancelKind::kAbort : CancelKind::kRaise, wait);
  }
}

int SettingsDatabase::SetModifiedStateInputCount() {
  // Looked up once per connection.
  std::optional<int>& cached = connection_->CachedInputCount();
  if (!cached) {
    try {
      cached = CountProcedureInputs(
          *connection_,
          "SELECT COUNT(*) FROM RDB$PROCEDURE_PARAMETERS WHERE RDB$PROCEDURE_NAME = ? AND "
          "RDB$PARAMETER_TYPE = 0 AND RDB$PACKAGE_NAME IS NULL");
    } catch (const std::exception&) {
      // Servers before Firebird 3 have no packages and no RDB$PACKAGE_NAME column, so the
      // statement cannot be prepared there: ask without it. Any other fault fails here again.
      cached = CountProcedureInputs(
          *connection_,
          "SELECT COUNT(*) FROM RDB$PROCEDURE_PARAMETERS WHERE RDB$PROCEDURE_NAME = ? AND "
          "RDB$PARAMETER_TYPE = 0");
    }
  }
  return *cached;
}

int32_t SettingsDatabase::CallProcedure(const ProcedureCall& call, FirstRow& row) noexcept {
  const int64_t start = SteadyMilliseconds();
  if (Open() != 0) return -1;
  Connection& connection = *connection_;
  try {
    int32_t result = 0;
    {
      if (connection.TransactionActive()) connection.Commit();
      Transaction transaction(connection);

      // "SELECT * FROM <procedure>(?, ...)" with the call's inputs bound to the markers.
      auto inputs = call.inputs;
      if (call.state && SetModifiedStateInputCount() == 2) inputs.emplace_back(*call.state);
      std::string sql = std::string("SELECT * FROM ") + call.procedure + "(";
      for (std::size_t i = 0; i < inputs.size(); ++i) sql += i == 0 ? "?" : ", ?";
      connection.OpenStatement(sql + ")", inputs);

      // A value that cannot be read is reported by the result alone; the transaction is still
      // committed.
      try {
        if (!connection.Eof() && !connection.IsNull(0)) {
          if (call.columns_into != nullptr) {
            for (int i = 0; i < connection.FieldCount(); ++i) {
              const std::string value = connection.AsText(i);
              call.columns_into->SetValue(connection.FieldName(i), value);
            }
          } else {
            row.number = connection.AsInteger(0);
            if (call.read_text) row.text = connection.AsText(1);
          }
        }
      } catch (...) {
        result = -1;
      }
      connection.CloseStatement();
      transaction.Commit();
    }
    if (ProtocolOn()) {
      std::string line = call.head() + ":: Res=" + std::to_string(result);
      if (call.columns_into != nullptr) line += ", Data=" + call.columns_into->CommaTextForLog();
      WriteProtocol(ElapsedField(start) + line);
    }
    return result;
  } catch (...) {
    // The statement and the transaction have been ended as the transaction went.
    try {
      if (ProtocolOn()) {
        WriteProtocol(ElapsedField(start) + call.head() + ":: FAIL: " + CurrentError());
      }
    } catch (...) {
    }
    return -1;
  }
}

int32_t SettingsDatabase::GetDataById(const std::string& id, int16_t& value, std::string& text) {
  FirstRow row;
  const int32_t result =
      CallProcedure({[&id] { return "DBGetDataByID(ID=" + CommandTextForLog(id) + ")"; },
                     "SP_GETDATABYID",
                     {id},
                     {},
                     true},
                    row);
  // Only the low 16 bits are kept, as a signed number.
  if (row.number) value = static_cast<int16_t>(static_cast<uint16_t>(*row.number & 0xFFFF));
  if (row.text) text = std::move(*row.text);
  return result;
}

int32_t SettingsDatabase::GetModifiedStateById(const std::string& id, int32_t& state) {
  FirstRow row;
  const int32_t result =
      CallProcedure({[&id] { return "DBGetModifiedStateByID(ID=" + CommandTextForLog(id) + ")"; },
                     "SP_GETMODIFIEDSTATEBYID",
                     {id},
                     {}},
                    row);
  if (row.number) state = *row.number;
  return result;
}

int32_t SettingsDatabase::SetModifiedStateById(const std::string& id, uint8_t state,
                                               int32_t& value) {
  FirstRow row;
  const int32_t result =
      CallProcedure({[&id, state] {
                       return "DBSetModifiedStateByID(ID=" + CommandTextForLog(id) +
                              ", State=" + std::to_string(unsigned{state}) + ")";
                     },
                     "SP_SETMODIFIEDSTATEBYID",
                     {id},
                     int32_t{state}},
                    row);
  if (row.number) value = *row.number;
  return result;
}

BlockingResult SettingsDatabase::CallBlockingProcedure(const char* name, const char* procedure,
                                                       std::initializer_list<const char*> keys,
                                                       int32_t last_integer,
                                                       RequestList list) noexcept {
  try {
    // Passwords never reach a log line; the procedure gets the values as they are.
    // The head shows the request as it came, before the first row's columns are added to it.
    const std::string head =
        ProtocolOn() ? std::string(name) + "(" + list.CommaTextForLog() + ")" : std::string();
    ProcedureCall call{[&head] { return head; }, procedure, {}, {}, false, &list};
    for (const char* key : keys) call.inputs.emplace_back(list.Value(key));
    call.inputs.emplace_back(last_integer);
    FirstRow row;
    const int32_t result = CallProcedure(call, row);
    return {result, std::move(list)};
  } catch (...) {
    return {-1, std::move(list)};
  }
}

BlockingResult SettingsDatabase::BlockingsGetData(RequestList list) {
  const int32_t with_password = list.HasName("BlockNumberPWD") ? 1 : 0;
  return CallBlockingProcedure("DBBlockings_GetData", "SP_BLOCKINGS_GETDATA",
                               {"OfficeID", "BlockNumber", "BlockNumberPWD"}, with_password,
                               std::move(list));
}

BlockingResult SettingsDatabase::BlockingsSetPwd(RequestList list) {
  const int32_t result = ParseRequestInteger(list.Value("Result"), 1);
  return CallBlockingProcedure("DBBlockings_SetPwd", "SP_BLOCKINGS_SETPWD",
                               {"OfficeID", "BlockNumber", "BlockNumberPWD", "BlockNumberPWDNew"},
                               result, std::move(list));
}

BlockingResult SettingsDatabase::BlockingsSetLink(RequestList list) {
  const int32_t status = ParseRequestInteger(list.Value("NumberStatus"), 1);
  return CallBlockingProcedure("DBBlockings_SetLink", "SP_BLOCKINGS_SETLINK",
                               {"OfficeID", "BlockNumber", "BlockNumberPWD", "LinkNumber"}, status,
                               std::move(list));
}

}  // namespace mox
