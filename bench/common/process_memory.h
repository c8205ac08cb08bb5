// What this process holds in memory: resident pages as the kernel counts them, and the bytes the
// C library's allocator has handed out and not got back.
#pragma once

#include <cstdint>

namespace mox::bench {

// VmRSS of /proc/self/status, in bytes.
int64_t ResidentBytes();
// Bytes in use through malloc (main arena and thread arenas, plus mmapped blocks).
int64_t HeapInUseBytes();
// Gives free heap pages back to the system (malloc_trim).
void TrimHeap();

}  // namespace mox::bench
