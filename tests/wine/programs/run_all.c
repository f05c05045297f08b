/* Starts several programs at once, each with an exact command line of any
 * length, and reports their 32-bit exit codes.
 *
 *   run_all.exe <result file> <time limit in ms> <current directory or -> [/invisible]
 *               <command file>...
 *
 * All children are started before the first is waited for. The result file
 * receives one line per command file: the exit code as a signed decimal
 * number, "nostart <error>" or "timeout" (the child is then ended).
 * With /invisible the children start on a desktop of a window station made
 * without WSF_VISIBLE, as a service's is, where nobody sees or closes a box. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_CHILDREN 8

static char *ReadWhole(const char *path) {
  FILE *in = fopen(path, "rb");
  long size;
  char *text;
  if (in == NULL) return NULL;
  fseek(in, 0, SEEK_END);
  size = ftell(in);
  fseek(in, 0, SEEK_SET);
  text = (char *)malloc((size_t)size + 1);
  if (text != NULL) {
    size_t n = fread(text, 1, (size_t)size, in);
    text[n] = '\0';
  }
  fclose(in);
  return text;
}

/* The station and desktop stay open while the children run: the runner's
 * handles are released only when it ends. */
static char *InvisibleDesktop(void) {
  static char name[] = "WykInvisible\\Default";
  HWINSTA own = GetProcessWindowStation();
  HWINSTA station = CreateWindowStationA("WykInvisible", 0, WINSTA_ALL_ACCESS, NULL);
  HDESK desktop = NULL;
  if (station != NULL && SetProcessWindowStation(station)) {
    desktop = CreateDesktopA("Default", NULL, NULL, 0, GENERIC_ALL, NULL);
    SetProcessWindowStation(own);
  }
  return desktop != NULL ? name : NULL;
}

int main(int argc, char **argv) {
  PROCESS_INFORMATION processes[MAX_CHILDREN];
  DWORD startErrors[MAX_CHILDREN];
  const char *directory;
  char *desktop = NULL;
  int first = 4;
  DWORD limit;
  DWORD begin;
  FILE *out;
  int count;
  int i;
  if (argc > 4 && strcmp(argv[4], "/invisible") == 0) {
    desktop = InvisibleDesktop();
    if (desktop == NULL) return 6;
    first = 5;
  }
  if (argc < first + 1 || argc - first > MAX_CHILDREN) return 3;
  limit = (DWORD)strtoul(argv[2], NULL, 10);
  directory = strcmp(argv[3], "-") == 0 ? NULL : argv[3];
  count = argc - first;
  out = fopen(argv[1], "wb");
  if (out == NULL) return 5;
  for (i = 0; i < count; ++i) {
    STARTUPINFOA startup;
    char *commandLine = ReadWhole(argv[first + i]);
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.lpDesktop = desktop;
    ZeroMemory(&processes[i], sizeof(processes[i]));
    startErrors[i] = 0;
    if (commandLine == NULL) {
      startErrors[i] = ERROR_FILE_NOT_FOUND;
      continue;
    }
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, directory, &startup,
                        &processes[i])) {
      startErrors[i] = GetLastError();
      if (startErrors[i] == 0) startErrors[i] = (DWORD)-1;
    } else {
      CloseHandle(processes[i].hThread);
    }
    free(commandLine);
  }
  begin = GetTickCount();
  for (i = 0; i < count; ++i) {
    DWORD code = 0;
    DWORD spent = GetTickCount() - begin;
    if (startErrors[i] != 0) {
      fprintf(out, "nostart %lu\n", (unsigned long)startErrors[i]);
      continue;
    }
    if (WaitForSingleObject(processes[i].hProcess, spent < limit ? limit - spent : 0) !=
        WAIT_OBJECT_0) {
      TerminateProcess(processes[i].hProcess, 259);
      fprintf(out, "timeout\n");
    } else {
      GetExitCodeProcess(processes[i].hProcess, &code);
      fprintf(out, "%ld\n", (long)(LONG)code);
    }
    CloseHandle(processes[i].hProcess);
  }
  fclose(out);
  return 0;
}
