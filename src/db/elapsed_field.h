// The field every log line of the database layer begins with.
#pragma once

#include <cstdint>
#include <string>

namespace mox {

// Milliseconds of a steady clock; only differences mean anything.
int64_t SteadyMilliseconds();

// "<%8d> ": the milliseconds since `start_ms` (a SteadyMilliseconds value), right-aligned in at
// least eight characters and never cut, then a space.
std::string ElapsedField(int64_t start_ms);
// The same for a given count of milliseconds.
std::string FormatElapsedField(int64_t elapsed_ms);

}  // namespace mox
