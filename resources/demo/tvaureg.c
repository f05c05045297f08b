/* Stand-in for the update service's registration tool. It registers nothing;
 * it appends the command line it was started with, as one line, to
 * "tvaureg.log" beside itself, so that a check after a setup run can read
 * exactly what it was asked to do. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR args, int show) {
  (void)instance;
  (void)previous;
  (void)args;
  (void)show;
  char path[MAX_PATH + 16];
  DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 2;
  char* slash = path + length;
  while (slash > path && *slash != '\\') --slash;
  lstrcpyA(slash + 1, "tvaureg.log");

  HANDLE log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
  if (log == INVALID_HANDLE_VALUE) return 3;
  const char* line = GetCommandLineA();
  DWORD written = 0;
  BOOL ok = WriteFile(log, line, (DWORD)lstrlenA(line), &written, NULL) &&
            WriteFile(log, "\r\n", 2, &written, NULL);
  CloseHandle(log);
  return ok ? 0 : 4;
}
