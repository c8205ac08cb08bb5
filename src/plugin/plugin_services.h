// The worker's services in the loaded plug-in: the real settings, logs and plug-in name.
#pragma once

#include "worker/worker_services.h"

namespace mox {

WorkerServices& PluginServices();

}  // namespace mox
