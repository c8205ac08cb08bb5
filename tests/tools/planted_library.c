/* Planted under the names of libraries the plug-in loads: loading it creates "<its path>.loaded".
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>

__attribute__((constructor)) static void MarkLoaded(void) {
  Dl_info info;
  char mark[4096];
  if (dladdr((void*)&MarkLoaded, &info) == 0) return;
  snprintf(mark, sizeof mark, "%s.loaded", info.dli_fname);
  FILE* file = fopen(mark, "w");
  if (file != NULL) fclose(file);
}
