/* A library that marks its own loading: its constructor creates "<its own path>.loaded". Copied
 * under the names of the libraries the plug-in loads, it shows whether a copy was loaded. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>

__attribute__((constructor)) static void MarkLoaded(void) {
  Dl_info info;
  char mark[4096];
  if (dladdr((void*)&MarkLoaded, &info) == 0 || info.dli_fname == NULL) return;
  snprintf(mark, sizeof mark, "%s.loaded", info.dli_fname);
  FILE* file = fopen(mark, "w");
  if (file != NULL) fclose(file);
}
