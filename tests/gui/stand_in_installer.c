/* A stand-in installer for the graphical check under Wine. It writes its
   current directory and then its arguments, one per line, to the file
   named by its "-report=" argument, waits the milliseconds of its "-wait="
   argument (long enough for a screenshot while the launcher waits for it)
   and exits 0. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  const char* report_path = NULL;
  DWORD wait = 0;
  char cwd[MAX_PATH];
  FILE* report;
  int i;
  for (i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "-report=", 8) == 0) report_path = argv[i] + 8;
    if (strncmp(argv[i], "-wait=", 6) == 0) wait = (DWORD)strtoul(argv[i] + 6, NULL, 10);
  }
  if (!report_path) return 2;
  report = fopen(report_path, "w");
  if (!report) return 2;
  if (!GetCurrentDirectoryA(sizeof cwd, cwd)) cwd[0] = '\0';
  fprintf(report, "%s\n", cwd);
  for (i = 0; i < argc; ++i) fprintf(report, "%s\n", argv[i]);
  fclose(report);
  if (wait) Sleep(wait);
  return 0;
}
