/* A library planted under the name of one a program uses. When any
 * loader maps it, DllMain appends "<this library's path>|<program's path>"
 * and a line feed to the file named by WYK_TRACE_FILE. Only kernel32 is
 * used, so the trace is written whatever else the process has loaded. */
#include <windows.h>

static void AppendTrace(HINSTANCE self) {
  char trace[MAX_PATH];
  char line[2 * MAX_PATH + 4];
  DWORD n;
  DWORD m;
  DWORD written = 0;
  HANDLE file;
  if (GetEnvironmentVariableA("WYK_TRACE_FILE", trace, sizeof(trace)) - 1 >= sizeof(trace) - 1) {
    return;
  }
  n = GetModuleFileNameA(self, line, MAX_PATH);
  line[n++] = '|';
  m = GetModuleFileNameA(NULL, line + n, MAX_PATH);
  n += m;
  line[n++] = '\n';
  file = CreateFileA(trace, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  WriteFile(file, line, n, &written, NULL);
  CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) AppendTrace(instance);
  return TRUE;
}
