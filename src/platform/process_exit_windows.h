// Set by the DLL's entry point (Windows only).
#pragma once

namespace mox::platform {

// Called when the DLL is detached because the process exits.
void MarkOtherThreadsEndedByProcessExit() noexcept;

}  // namespace mox::platform
