#include "db/db_cancel.h"

#include <atomic>
#include <memory>
#include <thread>

#include "base/thread_annotations.h"
#include "db/connection.h"
#include "db/fb_client.h"
#include "db/fb_error.h"
#include "platform/dynamic_library.h"
#include "platform/process.h"

namespace mox {
namespace {

// Shared by the caller and the thread that makes the request, which may outlive the caller's wait.
struct CancelCall {
  Mutex lock;
  CondVar returned;
  bool done GUARDED_BY(lock) = false;
  bool ok GUARDED_BY(lock) = false;
};

}  // namespace

bool CancelRunningCall(Connection& connection, CancelKind kind,
                       std::chrono::milliseconds wait) noexcept {
  if (kind == CancelKind::kAbort) connection.RefuseReconnect();
  try {
    std::shared_ptr<const FbClient> client = connection.SharedClient();
    isc_db_handle handle = connection.PublishedHandle();
    if (handle == 0 || client == nullptr || client->cancel_operation == nullptr) return false;
    const ISC_USHORT option = kind == CancelKind::kAbort ? fb_cancel_abort : fb_cancel_raise;

    // A raise is a packet to the server, and sending it can wait on the connection like any call.
    auto call = std::make_shared<CancelCall>();
    std::thread requester([call, client, handle, option]() mutable {
      ISC_STATUS_ARRAY status{};
      client->cancel_operation(status, &handle, option);
      MutexLock lock(call->lock);
      call->done = true;
      call->ok = !Failed(status);
      call->returned.NotifyAll();
    });
    const auto deadline = std::chrono::steady_clock::now() + wait;
    bool done = false;
    bool ok = false;
    {
      MutexLock lock(call->lock);
      while (!call->done && call->returned.WaitUntil(call->lock, deadline)) {
      }
      done = call->done;
      ok = call->ok;
    }
    if (done) {
      requester.join();
      return ok;
    }
    requester.detach();
    platform::DynamicLibrary::PinLoaded(platform::ThisModulePath());
    return false;
  } catch (...) {
    return false;
  }
}

}  // namespace mox
