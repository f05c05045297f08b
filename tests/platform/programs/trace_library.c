/* A library that leaves a trace when it is loaded. The tests plant it under
 * the name of a system library ("version.dll") where a careless search would
 * find it; the file named by WYK_TRACE_FILE then gets one line per load with
 * the library's own path. */
#include <windows.h>
#include <stdio.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    char trace[MAX_PATH];
    char self[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("WYK_TRACE_FILE", trace, sizeof(trace));
    if (n != 0 && n < sizeof(trace)) {
      FILE *f = fopen(trace, "ab");
      if (f != NULL) {
        DWORD m = GetModuleFileNameA(instance, self, sizeof(self));
        if (m == 0 || m >= sizeof(self)) self[0] = '\0';
        fprintf(f, "loaded %s\n", self);
        fclose(f);
      }
    }
  }
  return TRUE;
}
