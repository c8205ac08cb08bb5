// What the library's load and unload steps need of the exports unit.
#pragma once

namespace mox {

// Finalizes a worker the host left running (unload without Finalize_Plugin). Never throws.
void StopWorkerAtUnload() noexcept;

// Makes sure a worker still running when the host process exits is stopped before the exit
// handlers destroy what it uses. Idempotent.
void StopWorkerAtProcessExit() noexcept;

}  // namespace mox
