/* Reports what the platform tells a program about itself, so the tests can
 * check their set-up: the version GetVersionExA gives, the user interface
 * language, the ANSI code page and the file version of the engine library.
 *
 *   system_probe.exe <output file> [error code [module]]     (key=value lines)
 *
 * With an error code (0 for none) it also gives the system's text for it, as
 * hex bytes, the way a fatal report asks for it; with a module, the string 4
 * of that module's string table as the platform's loader picks it. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "hex_bytes.h"

int main(int argc, char **argv) {
  OSVERSIONINFOA info;
  char path[MAX_PATH];
  static BYTE block[65536];
  VS_FIXEDFILEINFO *fixed = NULL;
  UINT fixedSize = 0;
  FILE *out;
  if (argc < 2) return 3;
  out = fopen(argv[1], "wb");
  if (out == NULL) return 4;
  ZeroMemory(&info, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(info);
  GetVersionExA(&info);
  fprintf(out, "major=%lu\nminor=%lu\nplatform=%lu\n", (unsigned long)info.dwMajorVersion,
          (unsigned long)info.dwMinorVersion, (unsigned long)info.dwPlatformId);
  fprintf(out, "ui_language=%u\nacp=%u\n", (unsigned)GetUserDefaultUILanguage(), (unsigned)GetACP());
  GetSystemDirectoryA(path, MAX_PATH);
  fprintf(out, "system_directory=%s\n", path);
  lstrcatA(path, "\\msi.dll");
  if (GetFileVersionInfoA(path, 0, sizeof(block), block) &&
      VerQueryValueA(block, "\\", (LPVOID *)&fixed, &fixedSize) && fixed != NULL) {
    fprintf(out, "msi_version=%u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS),
            LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
            LOWORD(fixed->dwFileVersionLS));
  } else {
    fprintf(out, "msi_version=unreadable\n");
  }
  if (argc > 2 && strtoul(argv[2], NULL, 10) != 0) {
    char *text = NULL;
    DWORD code = (DWORD)strtoul(argv[2], NULL, 10);
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             NULL, code, LANG_USER_DEFAULT, (LPSTR)&text, 0, NULL);
    fprintf(out, "message=");
    WriteHex(out, text, n);
    fprintf(out, "\n");
    if (text != NULL) LocalFree(text);
  }
  if (argc > 3) {
    char text[1024];
    HMODULE module = LoadLibraryExA(argv[3], NULL, LOAD_LIBRARY_AS_DATAFILE);
    int n = module != NULL ? LoadStringA(module, 4, text, sizeof(text)) : 0;
    fprintf(out, "string4=");
    WriteHex(out, text, (size_t)n);
    fprintf(out, "\n");
  }
  fclose(out);
  return 0;
}
