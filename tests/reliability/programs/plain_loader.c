/* The careless way to load a library: by plain name, after taking the current
 * directory out of the search as the bootstrapper does. The tests use it to
 * show that a planted library's trace does catch such a program.
 *
 *   plain_loader.exe <library name>     exit code 0 when loaded, else the error */
#include <windows.h>

int main(int argc, char **argv) {
  HMODULE module;
  if (argc < 2) return 3;
  SetDllDirectoryA("");
  module = LoadLibraryA(argv[1]);
  return module != NULL ? 0 : (int)GetLastError();
}
