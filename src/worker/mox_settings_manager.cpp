#include "worker/mox_settings_manager.h"

#include <exception>
#include <string>
#include <utility>

#include "worker/command_queue.h"
#include "worker/dispatch.h"
#include "worker/thread.h"
#include "worker/worker_services.h"

namespace mox {

// The worker thread with what it works on. The thread is created first (held until Resume), then
// the queue, the reply callback and user value, and the request list inside the dispatch.
struct TMoxSettingsManager::Impl final : TThread {
  Impl(MoxReplyCallback callback, uint32_t user_value, WorkerServices& services,
       std::chrono::milliseconds idle_wait)
      : FServices(services), FIdleWait(idle_wait), FDispatch(callback, user_value, services) {}

  // Execute uses the members below, so the thread must end before they go.
  ~Impl() override {
    Terminate();
    WaitFor();
  }

  // One command per pass at most; the stop flag is looked at only at the end of a pass, so a
  // command taken before the flag was set is still answered.
  void Execute() override {
    for (;;) {
      try {
        if (std::unique_ptr<TCommandRecord> record = FQueue.PopCommand(FIdleWait)) {
          FDispatch.HandleCommand(*record);
        }
      } catch (const std::exception& error) {
        FServices.WriteLog(std::string("MoxSettingsManager:: FAIL: worker loop raised ") +
                           error.what());
      } catch (...) {
        FServices.WriteLog("MoxSettingsManager:: FAIL: worker loop raised an unknown error");
      }
      FServices.DBServeIdleTicks();
      if (Terminated()) return;
    }
  }

  WorkerServices& FServices;
  const std::chrono::milliseconds FIdleWait;
  TCommandQueue FQueue;
  TCommandDispatch FDispatch;
};

TMoxSettingsManager::TMoxSettingsManager(MoxReplyCallback callback, uint32_t user_value,
                                         WorkerServices& services,
                                         std::chrono::milliseconds idle_wait)
    : services_(services) {
  try {
    impl_ = std::make_unique<Impl>(callback, user_value, services, idle_wait);
    services_.WriteLog("MoxSettingsManager initializing...");
    services_.InitSettings();
    services_.InitDBTools();
    services_.WriteLog("MoxSettingsManager initialized");
    impl_->Resume();
  } catch (...) {
    Finalize();
    throw;
  }
}

TMoxSettingsManager::~TMoxSettingsManager() {
  Finalize();
}

int32_t TMoxSettingsManager::PostCommand(int32_t request_tag, std::unique_ptr<uint8_t[]> payload,
                                         uint32_t length) {
  if (length == 0 || !payload) return 0;
  auto record = std::make_unique<TCommandRecord>();
  record->RequestTag = request_tag;
  record->Payload = std::move(payload);
  record->PayloadLength = length;
  impl_->FQueue.PushCommand(std::move(record));
  return 0;
}

void TMoxSettingsManager::Terminate() noexcept {
  if (impl_) impl_->Terminate();
}

void TMoxSettingsManager::Finalize() noexcept {
  services_.WriteLog("MoxSettingsManager finalizing...");
  if (impl_) {
    impl_->Terminate();
    impl_->WaitFor();  // a thread never resumed ends here without running Execute
    try {
      impl_->FQueue.ClearQueue();
    } catch (...) {
      // The records go with the queue below all the same.
    }
    impl_.reset();
  }
  services_.DoneDBTools();
  services_.WriteLog("MoxSettingsManager finalized");
}

}  // namespace mox
