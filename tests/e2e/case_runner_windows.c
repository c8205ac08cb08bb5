#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "e2e/case_runner_system.h"

void* CaseLoadLibrary(const char* path) {
  return (void*)LoadLibraryA(path);
}

void* CaseSymbol(void* library, const char* name) {
  return (void*)GetProcAddress((HMODULE)library, name);
}

int CaseUnloadLibrary(void* library) {
  return FreeLibrary((HMODULE)library) ? 0 : 1;
}

const char* CaseClientLibraryName(void) {
  return "gds32.dll";
}

void CaseSleep(int ms) {
  Sleep((DWORD)ms);
}

long long CaseNowMs(void) {
  return (long long)GetTickCount64();
}

void CaseListFiles(const char* folder, const char* suffix, void (*found)(const char*, void*),
                   void* context) {
  char pattern[MAX_PATH * 2];
  snprintf(pattern, sizeof pattern, "%s\\*", folder);
  WIN32_FIND_DATAA day;
  HANDLE days = FindFirstFileA(pattern, &day);
  if (days == INVALID_HANDLE_VALUE) return;
  do {
    if (day.cFileName[0] == '.' || !(day.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    snprintf(pattern, sizeof pattern, "%s\\%s\\*%s", folder, day.cFileName, suffix);
    WIN32_FIND_DATAA file;
    HANDLE files = FindFirstFileA(pattern, &file);
    if (files == INVALID_HANDLE_VALUE) continue;
    do {
      char path[MAX_PATH * 2];
      snprintf(path, sizeof path, "%s\\%s\\%s", folder, day.cFileName, file.cFileName);
      found(path, context);
    } while (FindNextFileA(files, &file));
    FindClose(files);
  } while (FindNextFileA(days, &day));
  FindClose(days);
}
