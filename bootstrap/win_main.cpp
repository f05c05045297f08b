#include <windows.h>
#include <stdlib.h>

#include "bootstrap/run_bootstrap.h"

// The runtime splits the command line by the platform's standard rules.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return RunBootstrap(instance, __argc, __argv);
}
