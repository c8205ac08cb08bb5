/* A stand-in for the log-server client library (LogClient.dll): it takes every line and records
 * each call, one line per call, in the file its parameter text names. */
#include <stdint.h>
#include <stdio.h>

#define STUB_EXPORT __declspec(dllexport)

static char record_path[1024];

static void Record(const char* what, const char* module, const char* text) {
  FILE* file = record_path[0] ? fopen(record_path, "ab") : NULL;
  if (file == NULL) return;
  fprintf(file, "%s|%s|%s\n", what, module ? module : "", text ? text : "");
  fclose(file);
}

STUB_EXPORT int32_t __stdcall DLL_Initialize(const char* params, int32_t value) {
  snprintf(record_path, sizeof record_path, "%s", params);
  char text[32];
  snprintf(text, sizeof text, "%d", (int)value);
  Record("DLL_Initialize", params, text);
  return 1;
}

STUB_EXPORT int32_t __stdcall DLL_MessageToLogServer(double ole_date_local,
                                                     const char* host_exe_name,
                                                     const char* module_name, const char* prefix,
                                                     const char* text) {
  (void)ole_date_local, (void)host_exe_name, (void)prefix;
  Record("DLL_MessageToLogServer", module_name, text);
  return 1;
}

STUB_EXPORT void __stdcall DLL_Finalize(void) {
  Record("DLL_Finalize", "", "");
}
