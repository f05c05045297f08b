/* Starts one program with an exact command line and records its exit code.
 *
 *   e2e_runner.exe <command-line file> <result file>
 *
 * The command line is taken byte for byte from the first file (no quoting is
 * added or removed on the way), the program is waited for to its end, and its
 * exit code is written to the result file as a signed decimal number. The
 * exit status of a Wine process on Linux keeps only the low 8 bits, which
 * cannot tell 1603 from 67 or -2 from 254; this program keeps all 32. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: e2e_runner <command-line file> <result file>\n");
    return 2;
  }
  FILE* in = fopen(argv[1], "rb");
  if (in == NULL) {
    fprintf(stderr, "e2e_runner: cannot read %s\n", argv[1]);
    return 2;
  }
  static char line[32768];
  size_t length = fread(line, 1, sizeof(line) - 1, in);
  fclose(in);
  line[length] = '\0';

  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
    fprintf(stderr, "e2e_runner: cannot start [%s]: error %lu\n", line, GetLastError());
    return 3;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);

  FILE* out = fopen(argv[2], "wb");
  if (out == NULL) return 4;
  fprintf(out, "%ld\n", (long)(LONG)code);
  fclose(out);
  return 0;
}
