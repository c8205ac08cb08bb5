#include "db/db_cancel.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "db/connection.h"
#include "db/fb_client.h"
#include "db/fb_error.h"
#include "platform/dynamic_library.h"
#include "platform/process.h"

namespace mox {
namespace {

// Shared by the caller and the thread that makes the request, which may outlive the caller's wait.
struct CancelCall {
  std::mutex lock;
  std::condition_variable returned;
  bool done = false;  // guarded by lock
  bool ok = false;    // guarded by lock
};

}  // namespace

bool CancelOperation(Connection& connection, DBCancelKind kind,
                     std::chrono::milliseconds wait) noexcept {
  if (kind == DBCancelKind::kAbort) connection.RefuseReconnect();
  try {
    std::shared_ptr<const FbClient> client = connection.SharedClient();
    isc_db_handle handle = connection.PublishedHandle();
    if (handle == 0 || client == nullptr || client->cancel_operation == nullptr) return false;
    const ISC_USHORT option = kind == DBCancelKind::kAbort ? fb_cancel_abort : fb_cancel_raise;

    // A raise is a packet to the server, and sending it can wait on the connection like any call.
    auto call = std::make_shared<CancelCall>();
    std::thread requester([call, client, handle, option]() mutable {
      ISC_STATUS_ARRAY status{};
      client->cancel_operation(status, &handle, option);
      std::lock_guard lock(call->lock);
      call->done = true;
      call->ok = !Failed(status);
      call->returned.notify_all();
    });
    std::unique_lock lock(call->lock);
    if (call->returned.wait_for(lock, wait, [&call] { return call->done; })) {
      const bool ok = call->ok;
      lock.unlock();
      requester.join();
      return ok;
    }
    lock.unlock();
    requester.detach();
    platform::DynamicLibrary::PinLoaded(platform::ThisModulePath());
    return false;
  } catch (...) {
    return false;
  }
}

}  // namespace mox
