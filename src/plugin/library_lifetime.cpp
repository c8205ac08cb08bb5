// Load-time and unload-time work of the plug-in, run by the loader (dlopen / dlclose).

#include "db/fb_client.h"
#include "log/program_log.h"
#include "platform/process.h"
#include "plugin/exports_internal.h"
#include "plugin/plugin_name.h"
#include "plugin/plugin_services.h"

namespace {

// Set when the process exits without unloading us: by then the C++ destructors of the library's
// globals have run (exit handlers run before the loader's finalisation), so the unload steps must
// not touch them. Trivially destructible, so it stays valid to the end.
constinit bool gProcessExiting = false;

void MarkProcessExiting() noexcept {
  gProcessExiting = true;
}

// The loader runs this before the dynamic initialisers of the other objects in the library, so
// every global it touches is constant-initialised (constinit) or initialised ahead of it
// (MOX_INIT_BEFORE_LOAD_STEP, as gProgramLog is).
// Nothing may escape into the loader: a failed step leaves its part of the plug-in off, and the
// exports cope with that.
__attribute__((constructor)) void LoadPlugin() noexcept {
  // Registered before every other exit handler of the library, so at exit it runs after them,
  // and at dlclose after UnloadPlugin.
  mox::platform::AtModuleExit(&MarkProcessExiting);
  // Also fixes the library's own path while the working directory is the one the host loaded it
  // from.
  try {
    mox::gProgramLog.Open(mox::platform::HostExecutablePath(), mox::platform::ThisModulePath());
  } catch (...) {
  }
  try {
    mox::SetPluginNameFromModule();
  } catch (...) {
  }
}

// Runs before the library's C++ destructors (those run last, from __cxa_finalize).
__attribute__((destructor)) void UnloadPlugin() noexcept {
  if (gProcessExiting) return;
  // A host that unloads without Finalize_Plugin must not leave our thread running code that is
  // about to be unmapped.
  mox::StopWorkerAtUnload();
  mox::ReleaseClientLibrary();
  mox::gProgramLog.Close();
  mox::ClearPluginName();
  mox::ForgetPluginSettings();
  mox::SetProtocol(true);
}

}  // namespace
