// The three functions of the log-server interface. No exception crosses them.
#include <cstdint>
#include <memory>

#include "base/thread_annotations.h"
#include "log_client/client_params.h"
#include "log_client/syslog_client.h"
// MOX_EXPORT and MOX_SYSTEM_CALL: exported under the plain name, in the convention the program
// log's loader calls (__stdcall on 32-bit Windows).
#include "platform/dynamic_library.h"

namespace {

// Initialize and Finalize replace the client exclusively; messages share it.
mox::SharedTimedMutex gClientLock;
std::unique_ptr<mox::log_client::SyslogClient> gClient GUARDED_BY(gClientLock);

const char* OrEmpty(const char* text) {
  return text != nullptr ? text : "";
}

}  // namespace

// True when `params` could be read and the server's address resolved; otherwise there is no
// client and every message is refused. The second argument has no meaning here.
MOX_EXPORT int32_t MOX_SYSTEM_CALL DLL_Initialize(const char* params, int32_t /*value*/) {
  try {
    std::unique_ptr<mox::log_client::SyslogClient> client;
    if (const auto parsed = mox::log_client::ParseClientParams(OrEmpty(params))) {
      client = mox::log_client::SyslogClient::Create(*parsed);
    }
    const mox::ExclusiveLock lock(gClientLock);
    gClient = std::move(client);
    return gClient != nullptr ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

MOX_EXPORT int32_t MOX_SYSTEM_CALL DLL_MessageToLogServer(double ole_date_local,
                                                          const char* host_exe_name,
                                                          const char* module_name,
                                                          const char* prefix, const char* text) {
  try {
    const mox::SharedLock lock(gClientLock);
    if (!gClient) return 0;
    return gClient->Send({ole_date_local, OrEmpty(host_exe_name), OrEmpty(module_name),
                          OrEmpty(prefix), OrEmpty(text)})
               ? 1
               : 0;
  } catch (...) {
    return 0;
  }
}

// Messages are sent before their call returns, so closing the connection is all there is to do.
MOX_EXPORT void MOX_SYSTEM_CALL DLL_Finalize() {
  try {
    const mox::ExclusiveLock lock(gClientLock);
    gClient.reset();
  } catch (...) {
  }
}
