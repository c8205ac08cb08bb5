// What the end of the process leaves of the module's threads.
#pragma once

namespace mox::platform {

// True once the process is ending and the system has already ended every other thread without
// letting them finish (Windows, before it unloads DLLs at exit): their locks may be held forever
// and nothing may wait for them. Always false where exit handlers run with the threads still
// alive.
bool OtherThreadsEndedByProcessExit() noexcept;

}  // namespace mox::platform
