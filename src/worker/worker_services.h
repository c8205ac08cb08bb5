// WorkerServices: everything the worker needs of the other subsystems, behind one interface: the
// settings and database life cycle, the six database operations with the idle tick, the two logs
// and the plug-in name. ProductionServices forwards to the real ones; tests and fuzzers put a
// fake in its place, so the queue and the dispatch run without a settings file or a database.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "worker/request_list.h"

namespace mox {

class WorkerServices {
 public:
  virtual ~WorkerServices() = default;

  // Creation and destruction of the worker.
  virtual void InitSettings() = 0;
  virtual void InitDBTools() = 0;
  virtual void DoneDBTools() noexcept = 0;

  // The database operations: 0 on success, negative on failure. Out-values are written only when
  // a row was read.
  virtual int32_t DBGetDataByID(const std::string& ID, int16_t& Value, std::string& Text) = 0;
  virtual int32_t DBGetModifiedStateByID(const std::string& ID, int32_t& State) = 0;
  virtual int32_t DBSetModifiedStateByID(const std::string& ID, uint8_t State, int32_t& Value) = 0;
  virtual int32_t DBBlockings_GetData(RequestList& list) = 0;
  virtual int32_t DBBlockings_SetPwd(RequestList& list) = 0;
  virtual int32_t DBBlockings_SetLink(RequestList& list) = 0;
  // Once per pass of the worker loop, between commands.
  virtual void DBServeIdleTicks() noexcept = 0;
  // Closes the connection, on the worker thread as it ends, so that nothing that may wait on the
  // network is left to the thread that destroys the worker.
  virtual void DBDisconnect() noexcept {}
  // From the destroying thread, for a worker that does not end: cancels the database call it is
  // making (`abort`: drops the connection instead). Returns within about `wait`.
  virtual void DBCancelOperation(bool /*abort*/, std::chrono::milliseconds /*wait*/) noexcept {}
  // Keeps the library loaded for good: a thread left behind still runs its code.
  virtual void KeepLibraryLoaded() noexcept {}
  // The most commands the queue may hold, read after InitSettings; 0 for no limit.
  virtual std::size_t QueueLimit() noexcept { return 0; }

  virtual void WriteLog(std::string_view text) noexcept = 0;
  virtual void WriteProtocol(std::string_view text) noexcept = 0;
  // Valid while the library is loaded.
  virtual const char* PluginName() noexcept = 0;
};

// The services of the loaded plug-in.
WorkerServices& ProductionServices();

}  // namespace mox
