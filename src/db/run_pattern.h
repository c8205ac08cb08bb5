// The steps every database operation runs: lock, connect on demand, a transaction of its own, one
// statement whose first row is read, commit, one log line; every failure ends as the result -1.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace mox {

class TDatabase;
class TQuery;

struct DBOperation {
  // Gives the query its SQL text and parameters; may run statements of its own in the
  // operation's transaction first.
  std::function<void(TDatabase&, TQuery&)> set_sql;
  // Reads the first row; called only when there is one and its first column is not NULL. An error
  // here makes the result -1 but the transaction is still committed and the success line written.
  std::function<void(const TQuery&)> read_row;
  // The log lines after their elapsed field.
  std::function<std::string(int32_t result)> success_line;
  std::function<std::string(const std::string& message)> failure_line;
};

// 0 on success, -1 on any failure. Never throws.
int32_t RunDBOperation(const DBOperation& operation) noexcept;

}  // namespace mox
