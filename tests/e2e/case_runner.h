/* The shared end-to-end cases (cases.txt) run against a built plug-in and a real database: the same
 * code runs them on Linux (from the GoogleTest end-to-end binary) and in both Windows builds
 * (case_runner_main.c under wine), so the three agree case by case. */
#ifndef MOX_TESTS_E2E_CASE_RUNNER_H
#define MOX_TESTS_E2E_CASE_RUNNER_H

#ifdef __cplusplus
extern "C" {
#endif

/* Runs every step of `table` on the plug-in library `plugin` (a copy of its own: its settings
 * file is written beside it), attaching to `database` as SYSDBA with `password`; the plug-in's log
 * files are read under `log_root`/Logs. Prints each failed check with its table line and returns
 * how many failed (a table it cannot read or parse counts as a failure). */
int MoxRunCaseTable(const char* table, const char* plugin, const char* database,
                    const char* password, const char* log_root);

#ifdef __cplusplus
}
#endif

#endif
