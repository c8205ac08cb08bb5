// The four functions the host calls. Each is a thin guard around one call into the plug-in: no
// exception and no crash crosses into the host.
#include <atomic>
#include <exception>
#include <memory>
#include <string>

#include "apMoxSettingsManager.h"
#include "db/database_error.h"
#include "db/fb_client.h"
#include "db/settings_database.h"
#include "log/log_text.h"
#include "log/program_log.h"
#include "platform/dynamic_library.h"
#include "platform/process.h"
#include "plugin/exports_internal.h"
#include "plugin/plugin_name.h"
#include "plugin/plugin_services.h"
#include "worker/worker.h"

namespace mox {
namespace {

// The one worker, between Init_Plugin and Finalize_Plugin. Init_Plugin and Finalize_Plugin never
// run concurrently with another export of a host thread (a rule of the host interface); a reply
// callback may call Command_Plugin on the worker thread while Finalize_Plugin stops that worker,
// so Command_Plugin reaches the worker through a pointer that is cleared atomically before the
// worker goes. The worker outlives such a call, since its destruction waits for its own thread.
class ModuleWorker {
 public:
  // Stops and destroys the worker, if any; it ends after the command in progress. Its destruction
  // logs "finalizing..." before it stops the thread, so that the thread's last log lines (closing
  // the connection) come after it.
  void Destroy() noexcept {
    post_target_.store(nullptr);
    owned_.reset();
  }
  void Start(std::unique_ptr<Worker> worker) noexcept {
    owned_ = std::move(worker);
    post_target_.store(owned_.get());
  }
  // At process exit the worker thread is gone, perhaps holding a lock its object's destruction
  // would wait for: the object is left to the end of the process.
  void Abandon() noexcept {
    post_target_.store(nullptr);
    static_cast<void>(owned_.release());
  }
  // The worker Command_Plugin posts to, or null.
  Worker* ForPost() const noexcept { return post_target_.load(); }

 private:
  std::unique_ptr<Worker> owned_;
  std::atomic<Worker*> post_target_{nullptr};
};

constinit ModuleWorker gWorker;

void LogFailure(const char* routine, const char* what) noexcept {
  // An error text may carry a path or a message of the client library.
  try {
    WriteLog(std::string(routine) + ":: FAIL: " + SafeForLog(what));
  } catch (...) {
  }
}

// Runs an export's body: whatever it raises is logged as "<routine>:: FAIL: <what>" (and a
// database error's detail as a second such line) and goes no further into the host, which then
// gets the body type's zero value.
template <typename Body>
auto Guarded(const char* routine, Body body) noexcept -> decltype(body()) {
  try {
    return body();
  } catch (const DatabaseError& error) {
    LogFailure(routine, error.what());
    if (!error.detail().empty()) LogFailure(routine, error.detail().c_str());
  } catch (const std::exception& error) {
    LogFailure(routine, error.what());
  } catch (...) {
    LogFailure(routine, "unknown error");
  }
  return decltype(body())();
}

}  // namespace

void StopWorkerAtProcessExit() noexcept {
  // Exit handlers run in reverse order of registration. Registered after the library's static
  // initialisers and after the client library was loaded (which registers its own tear-down), so
  // at exit the worker stops while both are still whole. Registered again only when the client
  // library was loaded anew, which it is once per library load.
  static constinit bool registered = false;
  static constinit unsigned registered_after_loads = 0;
  const unsigned loads = ClientLibraryLoads();
  if (registered && registered_after_loads == loads) return;
  registered = platform::AtModuleExit(&StopWorkerAtUnload);
  registered_after_loads = loads;
}

void StopWorkerAtUnload() noexcept {
  if (platform::OtherThreadsEndedByProcessExit()) {
    gWorker.Abandon();
    return;
  }
  gWorker.Destroy();
  // The library's globals go next. A thread that Finalize_Plugin left behind and that has ended
  // is done with them (the check orders its last steps before this point); one still running
  // is not, and only the log can tell.
  if (Worker::WorkerLeftBehindRunning()) {
    WriteLog(
        "MoxSettingsManager:: FAIL: a worker thread left behind by Finalize_Plugin still runs as "
        "the library ends");
  }
}

}  // namespace mox

MOX_EXPORT void MOX_CALL GetName_Plugin(const char** name) {
  mox::Guarded("GetName_Plugin", [&] {
    if (name != nullptr) *name = mox::PluginName();
  });
}

MOX_EXPORT void MOX_CALL Init_Plugin(const char** name, MoxReplyCallback callback, uint32_t user) {
  using namespace mox;
  Guarded("Init_Plugin", [&] {
    if (name != nullptr) *name = PluginName();
    // The name comes from the library's file name, which the host chose.
    WriteLog("Init_Plugin: " + SafeForLog(PluginName()));
    // A second Init_Plugin replaces the running worker. A failed creation leaves none.
    gWorker.Destroy();
    gWorker.Start(std::make_unique<Worker>(callback, user, PluginServices(),
                                           std::make_unique<SettingsDatabase>()));
    StopWorkerAtProcessExit();
  });
}

MOX_EXPORT int32_t MOX_CALL Command_Plugin(int32_t tag, const void* payload, uint32_t length) {
  using namespace mox;
  return Guarded("Command_Plugin", [&]() -> int32_t {
    if (length == 0) return 0;
    Worker* const worker = gWorker.ForPost();
    if (worker == nullptr) {
      WriteLog("PLUGIN PANIC: Plugin is not initialized!");
      return 0;
    }
    return worker->Post(tag, static_cast<const uint8_t*>(payload), length);
  });
}

MOX_EXPORT void MOX_CALL Finalize_Plugin(void) {
  using namespace mox;
  Guarded("Finalize_Plugin", [] {
    gWorker.Destroy();
    WriteLog("Finalize_Plugin");
  });
}
