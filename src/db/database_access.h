// DatabaseAccess: the settings database as the worker sees it: its life cycle, the six operations
// and what stopping a worker needs. SettingsDatabase is the real one; tests and fuzzers put a
// fake in its place, so the queue and the dispatch run without a database.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "config/settings.h"
#include "db/request_list.h"

namespace mox {

// A blocking operation's result (0 on success, negative on failure) and its request list: the
// one passed in, with every column of the first result row written into it by name.
struct BlockingResult {
  int32_t result = -1;
  RequestList list;
};

class DatabaseAccess {
 public:
  virtual ~DatabaseAccess() = default;

  // Creation and destruction of the worker; the database keeps what it needs of `settings`.
  virtual void Init(const Settings& settings) = 0;
  virtual void Done() noexcept = 0;

  // 0 on success, negative on failure. Out-values are written only when a row was read.
  virtual int32_t GetDataById(const std::string& id, int16_t& value, std::string& text) = 0;
  virtual int32_t GetModifiedStateById(const std::string& id, int32_t& state) = 0;
  virtual int32_t SetModifiedStateById(const std::string& id, uint8_t state, int32_t& value) = 0;
  virtual BlockingResult BlockingsGetData(RequestList list) = 0;
  virtual BlockingResult BlockingsSetPwd(RequestList list) = 0;
  virtual BlockingResult BlockingsSetLink(RequestList list) = 0;

  // Once per pass of the worker loop, between commands.
  virtual void ServeIdleTicks() noexcept = 0;
  // Closes the connection, on the worker thread as it ends, so that nothing that may wait on the
  // network is left to the thread that destroys the worker.
  virtual void Disconnect() noexcept {}
  // From the destroying thread, for a worker that does not end: cancels the database call it is
  // making (`abort`: drops the connection instead). Returns within about `wait`.
  virtual void CancelOperation(bool /*abort*/, std::chrono::milliseconds /*wait*/) noexcept {}
};

}  // namespace mox
