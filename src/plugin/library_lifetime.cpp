// Load-time and unload-time work of the plug-in, run by the loader (dlopen / dlclose).
#include "config/write_protocol.h"
#include "config/settings.h"
#include "log/program_log.h"
#include "plugin/exports_internal.h"
#include "plugin/plugin_name.h"

namespace {

// Nothing may escape into the loader: a failed step leaves its part of the plug-in off, and the
// exports cope with that.
__attribute__((constructor)) void LoadPlugin() noexcept {
  try {
    mox::CreateSettingsUnit();
  } catch (...) {
  }
  mox::CreateUniLog();
  try {
    mox::SetPluginNameFromModule();
  } catch (...) {
  }
}

__attribute__((destructor)) void UnloadPlugin() noexcept {
  // A host that unloads without Finalize_Plugin must not leave our thread running code that is
  // about to be unmapped.
  mox::StopWorkerAtUnload();
  mox::FreeUniLog();
  mox::ClearPluginName();
  mox::FreeSettingsUnit();
  mox::ResetSettings();
  mox::ClearUniLogNames();
}

}  // namespace
