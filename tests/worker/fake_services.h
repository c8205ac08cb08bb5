// A stand-in for the other subsystems as the worker sees them, and a reply callback that records
// what the host would receive.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "apMoxSettingsManager.h"
#include "db/database_access.h"
#include "worker/worker_services.h"

namespace mox::test {

inline constexpr char kFakePluginName[] = "MoxSettingsManager_Fake";

// Every operation answers with `result`; when `row` is set it also writes the out-values (or, for
// the blocking operations, `columns` into the list by name). Each call, log line and life-cycle
// step is appended to `events` in the order it happened, from whichever thread.
class FakeServices final : public WorkerServices, public DatabaseAccess {
 public:
  int32_t result = 0;
  bool row = true;
  int16_t value16 = 0;
  std::string text;
  int32_t value32 = 0;
  std::vector<std::pair<std::string, std::string>> columns;
  std::function<void()> before_operation;  // runs inside every database operation
  bool fail_init_settings = false;
  bool fail_init_db = false;
  std::size_t queue_limit = 0;  // [Queue] MaxCommands

  std::vector<std::string> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  // The events that begin with `prefix`, without it.
  std::vector<std::string> Events(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& e : Events()) {
      if (e.rfind(prefix, 0) == 0) out.push_back(e.substr(prefix.size()));
    }
    return out;
  }
  int IdleTicks() const {
    std::lock_guard lock(mutex_);
    return idle_ticks_;
  }

  // No byte limit on the queue, `queue_limit` commands.
  Settings LoadSettings() override {
    Record("InitSettings");
    if (fail_init_settings) throw std::runtime_error("Unable to write to settings");
    Settings settings;
    settings.queue_max_commands = static_cast<int32_t>(queue_limit);
    settings.queue_max_bytes = 0;
    return settings;
  }
  void Init(const Settings&) override {
    Record("InitDBTools");
    if (fail_init_db) throw std::runtime_error("client library not found");
  }
  void Done() noexcept override { Record("DoneDBTools"); }

  int32_t GetDataById(const std::string& id, int16_t& value, std::string& data) override {
    Operation("db:DBGetDataByID(" + id + ")");
    if (row) {
      value = value16;
      data = text;
    }
    return result;
  }
  int32_t GetModifiedStateById(const std::string& id, int32_t& state) override {
    Operation("db:DBGetModifiedStateByID(" + id + ")");
    if (row) state = value32;
    return result;
  }
  int32_t SetModifiedStateById(const std::string& id, uint8_t state, int32_t& value) override {
    Operation("db:DBSetModifiedStateByID(" + id + ", " + std::to_string(state) + ")");
    if (row) value = value32;
    return result;
  }
  BlockingResult BlockingsGetData(RequestList list) override {
    return Blocking("GetData", std::move(list));
  }
  BlockingResult BlockingsSetPwd(RequestList list) override {
    return Blocking("SetPwd", std::move(list));
  }
  BlockingResult BlockingsSetLink(RequestList list) override {
    return Blocking("SetLink", std::move(list));
  }
  void ServeIdleTicks() noexcept override {
    std::lock_guard lock(mutex_);
    ++idle_ticks_;
  }

  void Log(std::string_view line) noexcept override { Record("log:" + std::string(line)); }
  void LogDetail(std::string_view line) noexcept override {
    Record("protocol:" + std::string(line));
  }
  const char* PluginName() noexcept override { return kFakePluginName; }

 private:
  void Record(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  void Operation(std::string event) {
    Record(std::move(event));
    if (before_operation) before_operation();
  }
  // Logs the list it was given, entry by entry, then writes the columns over it.
  BlockingResult Blocking(const char* name, RequestList list) {
    std::string seen;
    for (const std::string& entry : list.Entries()) seen += "[" + entry + "]";
    Operation(std::string("db:DBBlockings_") + name + seen);
    if (row) {
      for (const auto& [column, value] : columns) list.SetValue(column, value);
    }
    return {result, std::move(list)};
  }

  mutable std::mutex mutex_;
  std::vector<std::string> events_;
  int idle_ticks_ = 0;
};

struct Reply {
  int32_t tag;
  std::string name;
  std::string bytes;  // exactly `length` bytes
  bool nul_after;     // the byte after the reply is NUL
  uint32_t user;
};

// The replies the callbacks below have received, process-wide (the callback has no context of its
// own). Reset at the start of each test.
class ReplyLog {
 public:
  static void Reset();
  static std::vector<Reply> Replies();
  // Waits up to five seconds until `count` replies have come; false on time-out.
  static bool WaitFor(std::size_t count);
  static void Add(Reply reply);
};

void MOX_CALL RecordReply(int32_t tag, const char* name, const char* reply, int32_t length,
                          uint32_t user);
// Records the reply, then raises std::runtime_error("boom") for the user value 666.
void MOX_CALL RecordReplyThenThrow(int32_t tag, const char* name, const char* reply, int32_t length,
                                   uint32_t user);

}  // namespace mox::test
