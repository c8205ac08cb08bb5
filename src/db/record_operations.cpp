// The record-state operations: a record's data, and reading and setting its modified state.
#include <string>

#include "db/database.h"
#include "db/db_operations.h"
#include "db/query.h"
#include "db/run_pattern.h"

namespace mox {
namespace {

// Whether SP_SETMODIFIEDSTATEBYID takes the state as a second input is up to the database; its
// input count is looked up once per connection.
int SetModifiedStateInputCount(TDatabase& database, TQuery& query) {
  std::optional<int>& cached = database.CachedInputCount();
  if (!cached) {
    query.SetSQL(
        "SELECT COUNT(*) FROM RDB$PROCEDURE_PARAMETERS WHERE RDB$PROCEDURE_NAME = ? AND "
        "RDB$PARAMETER_TYPE = 0 AND RDB$PACKAGE_NAME IS NULL");
    query.AddTextParam("SP_SETMODIFIEDSTATEBYID");
    query.Open();
    const int count = query.AsInteger(0);
    query.Close();
    cached = count;
  }
  return *cached;
}

std::string ResultLine(const std::string& head, int32_t result) {
  return head + ":: Res=" + std::to_string(result);
}

std::string FailureLine(const std::string& head, const std::string& message) {
  return head + ":: FAIL: " + message;
}

}  // namespace

int32_t DBGetDataByID(const std::string& ID, int16_t& Value, std::string& Text) noexcept {
  const std::string head = "DBGetDataByID(ID=" + ID + ")";
  return RunDBOperation({
      .set_sql =
          [&](TDatabase&, TQuery& query) {
            query.SetSQL("SELECT * FROM SP_GETDATABYID(?)");
            query.AddTextParam(ID);
          },
      .read_row =
          [&](const TQuery& query) {
            // Only the low 16 bits are kept, as a signed number.
            Value = static_cast<int16_t>(static_cast<uint16_t>(query.AsInteger(0) & 0xFFFF));
            Text = query.AsText(1);
          },
      .success_line = [&](int32_t result) { return ResultLine(head, result); },
      .failure_line = [&](const std::string& message) { return FailureLine(head, message); },
  });
}

int32_t DBGetModifiedStateByID(const std::string& ID, int32_t& State) noexcept {
  const std::string head = "DBGetModifiedStateByID(ID=" + ID + ")";
  return RunDBOperation({
      .set_sql =
          [&](TDatabase&, TQuery& query) {
            query.SetSQL("SELECT * FROM SP_GETMODIFIEDSTATEBYID(?)");
            query.AddTextParam(ID);
          },
      .read_row = [&](const TQuery& query) { State = query.AsInteger(0); },
      .success_line = [&](int32_t result) { return ResultLine(head, result); },
      .failure_line = [&](const std::string& message) { return FailureLine(head, message); },
  });
}

int32_t DBSetModifiedStateByID(const std::string& ID, uint8_t State, int32_t& Value) noexcept {
  const std::string head =
      "DBSetModifiedStateByID(ID=" + ID + ", State=" + std::to_string(unsigned{State}) + ")";
  return RunDBOperation({
      .set_sql =
          [&](TDatabase& database, TQuery& query) {
            if (SetModifiedStateInputCount(database, query) == 2) {
              query.SetSQL("SELECT * FROM SP_SETMODIFIEDSTATEBYID(?, ?)");
              query.AddTextParam(ID);
              query.AddIntegerParam(State);
            } else {
              query.SetSQL("SELECT * FROM SP_SETMODIFIEDSTATEBYID(?)");
              query.AddTextParam(ID);
            }
          },
      .read_row = [&](const TQuery& query) { Value = query.AsInteger(0); },
      .success_line = [&](int32_t result) { return ResultLine(head, result); },
      .failure_line = [&](const std::string& message) { return FailureLine(head, message); },
  });
}

}  // namespace mox
