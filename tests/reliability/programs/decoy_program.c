/* A program put where a command line might be misread: it appends
 * "<its own path>|<its command line>" and a line feed to the file named by
 * WYK_TRACE_FILE and exits with 0. Also serves as the registration tool. */
#include <windows.h>
#include <string.h>

int main(void) {
  char trace[MAX_PATH];
  char self[MAX_PATH];
  const char *commandLine = GetCommandLineA();
  DWORD written = 0;
  HANDLE file;
  DWORD n = GetEnvironmentVariableA("WYK_TRACE_FILE", trace, sizeof(trace));
  if (n == 0 || n >= sizeof(trace)) return 0;
  n = GetModuleFileNameA(NULL, self, sizeof(self));
  file = CreateFileA(trace, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 0;
  WriteFile(file, self, n, &written, NULL);
  WriteFile(file, "|", 1, &written, NULL);
  WriteFile(file, commandLine, (DWORD)strlen(commandLine), &written, NULL);
  WriteFile(file, "\n", 1, &written, NULL);
  CloseHandle(file);
  return 0;
}
