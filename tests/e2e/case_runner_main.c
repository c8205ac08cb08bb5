/* The shared end-to-end cases as a program of their own, for the Windows builds under wine.
 * Usage: mox_case_runner <cases.txt> <plug-in library> <database> <password> <log root>
 * Exit status 0 when every check passed. */
#include <stdio.h>

#include "e2e/case_runner.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    fprintf(stderr, "usage: %s <cases.txt> <plug-in> <database> <password> <log root>\n", argv[0]);
    return 2;
  }
  setvbuf(stdout, NULL, _IONBF, 0);
  const int failures = MoxRunCaseTable(argv[1], argv[2], argv[3], argv[4], argv[5]);
  printf("%s: %d check(s) failed\n", failures == 0 ? "ok" : "FAIL", failures);
  return failures == 0 ? 0 : 1;
}
