// The worker's services in the loaded plug-in: the real settings, logs and plug-in name.
#pragma once

#include "worker/worker_services.h"

namespace mox {

WorkerServices& PluginServices();

// Drops what the last Init_Plugin read from the settings file (library unload): the next
// initialisation starts from the built-in defaults again.
void ForgetPluginSettings() noexcept;

}  // namespace mox
