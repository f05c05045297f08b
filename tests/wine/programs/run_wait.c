/* Starts a program with an exact command line and reports its 32-bit exit
 * code, which the Unix side of Wine would cut to 8 bits.
 *
 *   run_wait.exe <command line file> <result file> <time limit in ms>
 *
 * The first file holds the child's whole command line, byte for byte. The
 * result file receives the exit code as a signed decimal number, or
 * "timeout" (the child is then ended) or "nostart <error>". */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
  static char commandLine[65536];
  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  DWORD limit;
  DWORD code = 0;
  size_t n;
  FILE *in;
  FILE *out;
  if (argc < 4) return 3;
  limit = (DWORD)strtoul(argv[3], NULL, 10);
  in = fopen(argv[1], "rb");
  if (in == NULL) return 4;
  n = fread(commandLine, 1, sizeof(commandLine) - 1, in);
  fclose(in);
  commandLine[n] = '\0';
  out = fopen(argv[2], "wb");
  if (out == NULL) return 5;

  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  ZeroMemory(&process, sizeof(process));
  if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
    fprintf(out, "nostart %lu\n", (unsigned long)GetLastError());
    fclose(out);
    return 6;
  }
  CloseHandle(process.hThread);
  if (WaitForSingleObject(process.hProcess, limit) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 259);
    fprintf(out, "timeout\n");
    fclose(out);
    return 7;
  }
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  fprintf(out, "%ld\n", (long)(LONG)code);
  fclose(out);
  return 0;
}
