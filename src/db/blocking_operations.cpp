// The blocking operations: their inputs come from the request list and every column of the first
// result row goes back into it by the column's name.
#include <string>

#include "db/db_operations.h"
#include "db/query.h"
#include "db/request_integer.h"
#include "db/run_pattern.h"

namespace mox {
namespace {

struct BlockingCall {
  const char* operation;     // name in the log lines
  const char* sql;           // procedure call with one marker per value
  const char* text_keys[4];  // list keys of the text values, in parameter order
  int text_count;
  int32_t last_integer;
};

int32_t RunBlockingCall(const BlockingCall& call, RequestList& list) {
  // Passwords never reach a log line; the procedure gets the values as they are.
  const std::string request_text = list.CommaTextForLog();
  const std::string head = std::string(call.operation) + "(" + request_text + ")";
  return RunDBOperation({
      .set_sql =
          [&](TDatabase&, TQuery& query) {
            query.SetSQL(call.sql);
            for (int i = 0; i < call.text_count; ++i)
              query.AddTextParam(list.Value(call.text_keys[i]));
            query.AddIntegerParam(call.last_integer);
          },
      .read_row =
          [&](const TQuery& query) {
            for (int i = 0; i < query.FieldCount(); ++i) {
              const std::string value = query.AsText(i);
              list.SetValue(query.FieldName(i), value);
            }
          },
      .success_line =
          [&](int32_t result) {
            return head + ":: Res=" + std::to_string(result) + ", Data=" + list.CommaTextForLog();
          },
      .failure_line = [&](const std::string& message) { return head + ":: FAIL: " + message; },
  });
}

}  // namespace

int32_t DBBlockings_GetData(RequestList& list) noexcept {
  try {
    return RunBlockingCall({"DBBlockings_GetData",
                            "SELECT * FROM SP_BLOCKINGS_GETDATA(?, ?, ?, ?)",
                            {"OfficeID", "BlockNumber", "BlockNumberPWD"},
                            3,
                            list.HasName("BlockNumberPWD") ? 1 : 0},
                           list);
  } catch (...) {
    return -1;
  }
}

int32_t DBBlockings_SetPwd(RequestList& list) noexcept {
  try {
    return RunBlockingCall({"DBBlockings_SetPwd",
                            "SELECT * FROM SP_BLOCKINGS_SETPWD(?, ?, ?, ?, ?)",
                            {"OfficeID", "BlockNumber", "BlockNumberPWD", "BlockNumberPWDNew"},
                            4,
                            ParseRequestInteger(list.Value("Result"), 1)},
                           list);
  } catch (...) {
    return -1;
  }
}

int32_t DBBlockings_SetLink(RequestList& list) noexcept {
  try {
    return RunBlockingCall({"DBBlockings_SetLink",
                            "SELECT * FROM SP_BLOCKINGS_SETLINK(?, ?, ?, ?, ?)",
                            {"OfficeID", "BlockNumber", "BlockNumberPWD", "LinkNumber"},
                            4,
                            ParseRequestInteger(list.Value("NumberStatus"), 1)},
                           list);
  } catch (...) {
    return -1;
  }
}

}  // namespace mox
