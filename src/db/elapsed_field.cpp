#include "db/elapsed_field.h"

#include <cstdio>

#include "db/db_tools.h"

namespace mox {

std::string FormatElapsedField(int64_t elapsed_ms) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "<%8lld> ", static_cast<long long>(elapsed_ms));
  return buffer;
}

std::string ElapsedField(int64_t start_ms) {
  return FormatElapsedField(GetMsCounter() - start_ms);
}

}  // namespace mox
