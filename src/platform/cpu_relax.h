// A hint to the processor that this thread spins on a memory location it waits to see change: the
// core then runs a sibling hardware thread, or saves power, for the few cycles the loop waits.
#pragma once

namespace mox::platform {

inline void CpuRelax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__) || defined(__arm__)
  __asm__ __volatile__("yield");
#endif
}

}  // namespace mox::platform
