// The check every fuzz target uses for its properties: a failed one stops the run like a crash, so
// that libFuzzer keeps the input, and the corpus replay fails. assert() is compiled out of the
// optimised builds that fuzz.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace mox::fuzz {

inline void Check(bool ok, const char* property) {
  if (ok) return;
  std::fprintf(stderr, "fuzz property broken: %s\n", property);
  std::abort();
}

}  // namespace mox::fuzz
