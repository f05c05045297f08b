/* Holds a file open without sharing until told to stop.
 *
 *   hold_file.exe <file> <ready file> <stop file> <time limit in ms>
 *
 * Creates <ready file> once the handle is held, then waits until <stop file>
 * exists or the time limit passes. Exit code 0, or the error of the open. */
#include <windows.h>
#include <stdlib.h>

int main(int argc, char **argv) {
  HANDLE held;
  HANDLE ready;
  DWORD limit;
  DWORD begin = GetTickCount();
  if (argc < 5) return ERROR_INVALID_PARAMETER;
  limit = (DWORD)strtoul(argv[4], NULL, 10);
  held = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, NULL);
  if (held == INVALID_HANDLE_VALUE) return (int)GetLastError();
  ready = CreateFileA(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  while (GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES && GetTickCount() - begin < limit) {
    Sleep(50);
  }
  CloseHandle(held);
  return 0;
}
