/* A test double of the log-server client library. It appends one line per call, arguments
 * included, to the file named in its parameter text, and answers as that text says.
 *
 * Parameter text: "record=<path>;init=<0|1>;refuse=<marker>;delay=<ms>", every part optional.
 * init gives DLL_Initialize's result (default 1); a line whose text contains a non-empty marker is
 * refused (the marker * refuses every line), every other line is taken; delay makes every
 * DLL_MessageToLogServer call take that many milliseconds first. Compiled with
 * LOG_CLIENT_DOUBLE_WITHOUT_FINALIZE it lacks DLL_Finalize.
 *
 * Every load appends a line to "<this library's path>.loads", so a test can tell whether the
 * library was loaded at all. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define DOUBLE_EXPORT __attribute__((visibility("default")))

static char record_path[1024];
static char refuse_marker[256];
static int32_t init_result = 1;
static long delay_ms = 0;

/* Copies the value of `key` (up to the next ';') from `params` into `out`. */
static void ReadParam(const char* params, const char* key, char* out, size_t size) {
  const char* found = strstr(params, key);
  if (found == NULL) return;
  found += strlen(key);
  size_t n = strcspn(found, ";");
  if (n >= size) n = size - 1;
  memcpy(out, found, n);
  out[n] = '\0';
}

/* Texts are written with CR, LF and backslash escaped so that one call stays one line; a null
 * pointer is written as <null>. */
static void PutText(FILE* file, const char* text) {
  fputc('|', file);
  if (text == NULL) {
    fputs("<null>", file);
    return;
  }
  for (; *text != '\0'; ++text) {
    if (*text == '\r') {
      fputs("\\r", file);
    } else if (*text == '\n') {
      fputs("\\n", file);
    } else if (*text == '\\') {
      fputs("\\\\", file);
    } else {
      fputc(*text, file);
    }
  }
}

__attribute__((constructor)) static void RecordLoad(void) {
  Dl_info info;
  if (dladdr((void*)&RecordLoad, &info) == 0 || info.dli_fname == NULL) return;
  char path[1100];
  snprintf(path, sizeof path, "%s.loads", info.dli_fname);
  FILE* file = fopen(path, "ab");
  if (file == NULL) return;
  fputs("loaded\n", file);
  fclose(file);
}

static FILE* OpenRecord(void) {
  return record_path[0] ? fopen(record_path, "ab") : NULL;
}

DOUBLE_EXPORT int32_t DLL_Initialize(const char* params, int32_t value) {
  char init[8] = "";
  char delay[16] = "";
  ReadParam(params, "record=", record_path, sizeof record_path);
  ReadParam(params, "refuse=", refuse_marker, sizeof refuse_marker);
  ReadParam(params, "init=", init, sizeof init);
  ReadParam(params, "delay=", delay, sizeof delay);
  if (init[0] != '\0') init_result = init[0] == '1';
  if (delay[0] != '\0') delay_ms = strtol(delay, NULL, 10);
  FILE* file = OpenRecord();
  if (file != NULL) {
    fputs("DLL_Initialize", file);
    PutText(file, params);
    fprintf(file, "|%d\n", (int)value);
    fclose(file);
  }
  /* Only the lowest byte counts: set higher bits that a careless caller would read as true. */
  return init_result ? 0x101 : 0x100;
}

DOUBLE_EXPORT int32_t DLL_MessageToLogServer(double ole_date_local, const char* host_exe_name,
                                             const char* module_name, const char* prefix,
                                             const char* text) {
  if (delay_ms > 0) {
    const struct timespec pause = {delay_ms / 1000, (delay_ms % 1000) * 1000000L};
    nanosleep(&pause, NULL);
  }
  FILE* file = OpenRecord();
  if (file != NULL) {
    fprintf(file, "DLL_MessageToLogServer|%.17g", ole_date_local);
    PutText(file, host_exe_name);
    PutText(file, module_name);
    PutText(file, prefix);
    PutText(file, text);
    fputc('\n', file);
    fclose(file);
  }
  const int refuse_all = strcmp(refuse_marker, "*") == 0;
  const int refused =
      refuse_all || (refuse_marker[0] != '\0' && text != NULL && strstr(text, refuse_marker));
  return refused ? 0x7F00 : 1;
}

#ifndef LOG_CLIENT_DOUBLE_WITHOUT_FINALIZE
DOUBLE_EXPORT void DLL_Finalize(void) {
  FILE* file = OpenRecord();
  if (file != NULL) {
    fputs("DLL_Finalize\n", file);
    fclose(file);
  }
}
#endif
