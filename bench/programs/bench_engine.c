/* A stand-in for msiexec.exe for the benchmarks: notes how long after the
 * bootstrapper's own start it was started, then exits with 0 at once. The
 * bootstrapper's start is its process creation time, read through the parent
 * process id. Output: one line "engine_start_ms=<ms>" appended to the file
 * named by WYK_BENCH_RECORD. */
#include <windows.h>
#include <tlhelp32.h>
#include <stdio.h>

static ULONGLONG ToTicks(FILETIME t) { return ((ULONGLONG)t.dwHighDateTime << 32) | t.dwLowDateTime; }

static DWORD ParentProcessId(void) {
  DWORD self = GetCurrentProcessId(), parent = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof(entry);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
  }
  CloseHandle(snapshot);
  return parent;
}

int main(void) {
  FILETIME created, exited, kernel, user, parentCreated;
  char path[MAX_PATH];
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  HANDLE parent = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ParentProcessId());
  if (parent == NULL || !GetProcessTimes(parent, &parentCreated, &exited, &kernel, &user)) return 2;
  CloseHandle(parent);
  if (!GetEnvironmentVariableA("WYK_BENCH_RECORD", path, sizeof(path))) return 3;
  FILE* out = fopen(path, "a");
  if (out == NULL) return 4;
  fprintf(out, "engine_start_ms=%.3f\n", (double)(ToTicks(created) - ToTicks(parentCreated)) / 10000.0);
  fclose(out);
  return 0;
}
