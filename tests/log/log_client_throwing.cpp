// A log-server client library written in C++ whose DLL_Finalize raises an exception: the plug-in
// must survive freeing its program log all the same. It takes every line.
#include <cstdint>
#include <stdexcept>

#define DOUBLE_EXPORT extern "C" __attribute__((visibility("default")))

DOUBLE_EXPORT int32_t DLL_Initialize(const char*, int32_t) {
  return 1;
}

DOUBLE_EXPORT int32_t DLL_MessageToLogServer(double, const char*, const char*, const char*,
                                             const char*) {
  return 1;
}

DOUBLE_EXPORT void DLL_Finalize() {
  throw std::runtime_error("log server gone");
}
