#include <windows.h>
#include <stdlib.h>

#include "bootstrap/run_bootstrap.h"

#if defined(__MINGW32__) && defined(WYK_OWN_ENTRY)
// With mingw the program brings its own entry instead of the runtime's start-up
// code, which would add its own error reporting, stdio and exception tables to a
// program that uses none of them. The split is the C runtime's own, as with the
// usual start-up. Nothing of the program needs constructing before it runs.
struct WykStartupInfo {
  int newMode;
};
extern "C" int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int expandWildcards,
                                     WykStartupInfo* info);

extern "C" void __cdecl WykEntry() {
  int argc = 0;
  char** argv = NULL;
  char** env = NULL;
  WykStartupInfo info = {0};
  __getmainargs(&argc, &argv, &env, 0, &info);
  ExitProcess(static_cast<UINT>(RunBootstrap(GetModuleHandleA(NULL), argc, argv)));
}
#else
// The runtime splits the command line by the platform's standard rules.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return RunBootstrap(instance, __argc, __argv);
}
#endif
