// The process heap as the operating system sees it.
#pragma once

namespace mox::platform {

// Hands the heap's free memory back to the system where the allocator keeps it (glibc keeps
// freed small blocks mapped, so a large backlog that has drained would otherwise stay resident).
void ReturnFreeMemoryToSystem() noexcept;

}  // namespace mox::platform
