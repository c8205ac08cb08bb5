/* A log-server client that takes every line: each export does nothing and DLL_MessageToLogServer
 * answers true, so the program log never falls back to its files. Counts the lines it took. */
#include <stdint.h>

#define LOG_CLIENT_EXPORT __attribute__((visibility("default")))

static volatile uint64_t taken_lines;

LOG_CLIENT_EXPORT int32_t DLL_Initialize(const char* params, int32_t value) {
  (void)params;
  (void)value;
  return 1;
}

LOG_CLIENT_EXPORT int32_t DLL_MessageToLogServer(double when, const char* host, const char* module,
                                                 const char* prefix, const char* text) {
  (void)when;
  (void)host;
  (void)module;
  (void)prefix;
  (void)text;
  __atomic_add_fetch(&taken_lines, 1, __ATOMIC_RELAXED);
  return 1;
}

LOG_CLIENT_EXPORT void DLL_Finalize(void) {}

LOG_CLIENT_EXPORT uint64_t LogClientDoubleTakenLines(void) {
  return __atomic_load_n(&taken_lines, __ATOMIC_RELAXED);
}
