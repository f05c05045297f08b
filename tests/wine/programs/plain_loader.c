/* Loads a library the careless way: by plain name, after taking the current
 * directory out of the search as the bootstrapper does, so a test can show
 * that a planted library's trace does catch such a program.
 *
 *   plain_loader.exe <library name>
 *
 * Exit code 0 when loaded, else the error. It must not import user32: Wine's
 * user32 imports version.dll, which a test plants. */
#include <windows.h>

int main(int argc, char **argv) {
  if (argc != 2) return ERROR_INVALID_PARAMETER;
  SetDllDirectoryA("");
  return LoadLibraryA(argv[1]) != NULL ? 0 : (int)GetLastError();
}
