#include "common/process_memory.h"

#include <malloc.h>

#include <fstream>
#include <string>

namespace mox::bench {

int64_t ResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
  }
  return -1;
}

int64_t HeapInUseBytes() {
  const struct mallinfo2 info = ::mallinfo2();
  return static_cast<int64_t>(info.uordblks + info.hblkhd);
}

void TrimHeap() {
  ::malloc_trim(0);
}

}  // namespace mox::bench
