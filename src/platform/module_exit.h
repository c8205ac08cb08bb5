// Exit handlers tied to this module.
#pragma once

namespace mox::platform {

// Registers `handler` like atexit, but tied to the module (shared object or executable) that
// contains this code: it runs when the module is unloaded, or at process exit if it is still
// loaded then, in reverse order of registration. A plain atexit may be bound to the process alone
// (as when a sanitizer runtime intercepts it), and would then call into a module already
// unloaded. False when it could not be registered.
bool AtModuleExit(void (*handler)()) noexcept;

}  // namespace mox::platform
