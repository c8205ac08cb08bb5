#include "db/elapsed_field.h"

#include <chrono>
#include <cstdio>

namespace mox {

int64_t GetMsCounter() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string FormatElapsedField(int64_t elapsed_ms) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "<%8lld> ", static_cast<long long>(elapsed_ms));
  return buffer;
}

std::string ElapsedField(int64_t start_ms) {
  return FormatElapsedField(GetMsCounter() - start_ms);
}

}  // namespace mox
