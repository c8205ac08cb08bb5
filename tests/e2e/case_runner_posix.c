#define _POSIX_C_SOURCE 200809L
#include <dirent.h>
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "e2e/case_runner_system.h"

void* CaseLoadLibrary(const char* path) {
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* CaseSymbol(void* library, const char* name) {
  return dlsym(library, name);
}

int CaseUnloadLibrary(void* library) {
  return dlclose(library);
}

const char* CaseClientLibraryName(void) {
  return "libfbclient.so.2";
}

void CaseSleep(int ms) {
  const struct timespec pause = {ms / 1000, (long)(ms % 1000) * 1000000L};
  nanosleep(&pause, NULL);
}

long long CaseNowMs(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

void CaseListFiles(const char* folder, const char* suffix, void (*found)(const char*, void*),
                   void* context) {
  DIR* top = opendir(folder);
  if (top == NULL) return;
  const size_t suffix_length = strlen(suffix);
  for (struct dirent* day = readdir(top); day != NULL; day = readdir(top)) {
    if (day->d_name[0] == '.') continue;
    char day_path[4096];
    snprintf(day_path, sizeof day_path, "%s/%s", folder, day->d_name);
    DIR* files = opendir(day_path);
    if (files == NULL) continue;
    for (struct dirent* file = readdir(files); file != NULL; file = readdir(files)) {
      const size_t length = strlen(file->d_name);
      if (length < suffix_length || strcmp(file->d_name + length - suffix_length, suffix) != 0)
        continue;
      char path[4096 + 512];
      snprintf(path, sizeof path, "%s/%s", day_path, file->d_name);
      found(path, context);
    }
    closedir(files);
  }
  closedir(top);
}
