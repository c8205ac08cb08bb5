/* What the case runner needs from the system, one file per system (case_runner_posix.c,
 * case_runner_windows.c). */
#ifndef MOX_TESTS_E2E_CASE_RUNNER_SYSTEM_H
#define MOX_TESTS_E2E_CASE_RUNNER_SYSTEM_H

#include <stddef.h>

void* CaseLoadLibrary(const char* path); /* NULL on failure */
void* CaseSymbol(void* library, const char* name);
int CaseUnloadLibrary(void* library); /* 0 on success */
const char* CaseClientLibraryName(void);
void CaseSleep(int ms);
long long CaseNowMs(void); /* a monotonic clock */
/* Calls `found` with the path of each file in the subfolders of `folder` (one level down) whose
 * name ends with `suffix`. */
void CaseListFiles(const char* folder, const char* suffix, void (*found)(const char*, void*),
                   void* context);

#endif
