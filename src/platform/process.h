// The process and this module (the shared object that contains this code) in it: where both live
// on disk, what runs when the module or the process ends, who the process is, and its heap.
#pragma once

#include <string>

// For a global that the library's load step writes, so it must be initialised before that step
// runs. GCC does it at compile time; clang 14 cannot evaluate libstdc++'s std::string constructor
// there (hence no constinit), and the priority runs its initialiser ahead of the load step.
#define MOX_INIT_BEFORE_LOAD_STEP __attribute__((init_priority(101)))

namespace mox::platform {

// Absolute path of the shared object that contains this code (not of the host executable), as the
// host named it (symbolic links are not resolved), fixed at the first call; empty when the system
// cannot tell.
std::string ThisModulePath();

// Full path of the executable of the current process; empty when the system cannot tell.
std::string HostExecutablePath();

// Registers `handler` like atexit, but tied to the module (shared object or executable) that
// contains this code: it runs when the module is unloaded, or at process exit if it is still
// loaded then, in reverse order of registration. A plain atexit may be bound to the process alone
// (as when a sanitizer runtime intercepts it), and would then call into a module already
// unloaded. False when it could not be registered.
bool AtModuleExit(void (*handler)()) noexcept;

// What the end of the process leaves of the module's threads: true once the process is ending and
// the system has already ended every other thread without letting them finish (Windows, before it
// unloads DLLs at exit): their locks may be held forever and nothing may wait for them. Always
// false where exit handlers run with the threads still alive.
bool OtherThreadsEndedByProcessExit() noexcept;

// Windows only, set by the DLL's entry point: called when the DLL is detached because the process
// exits.
void MarkOtherThreadsEndedByProcessExit() noexcept;

// Who is sending: this machine's host name; empty when the system cannot tell.
std::string HostName();

// The id of the current process.
long ProcessId();

// Hands the heap's free memory back to the system where the allocator keeps it (glibc keeps
// freed small blocks mapped, so a large backlog that has drained would otherwise stay resident).
void ReturnFreeMemoryToSystem() noexcept;

// The system side of the shared code in process.cpp: each system's file defines these.
namespace detail {

// Absolute path of the module that contains this code, as the loader names it; empty when
// unknown.
std::string SystemModulePath();

}  // namespace detail

}  // namespace mox::platform
