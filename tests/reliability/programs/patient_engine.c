/* A stand-in for the installer engine (msiexec.exe in a folder of its own)
 * that takes its time: it lets the tests act on the staged files while the
 * bootstrapper is still running, and reads them the way an engine does.
 *
 * Settings, through the environment:
 *   RELY_REPORT      file that receives key=value lines, appended
 *   RELY_EVENT_WAIT  ms to wait for the hand-off event before reading the
 *                    cabinets (default 30000)
 *   RELY_HOLD_DIR    folder for the hand-shake files: "ready-<package name>"
 *                    is created once the files have been read, then the engine
 *                    waits for "stop-<package name>" (or RELY_HOLD_MS, default
 *                    60000)
 *   RELY_CODE        exit code (default 0)
 *
 * The staged files it reads: for the kit package, the package and the five
 * cabinets beside it; for the update-service package, au.msi and au.cab. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../../wine/programs/engine_standin.h"


static int ReadEnv(const char *name, char *buffer, DWORD capacity) {
  DWORD n = GetEnvironmentVariableA(name, buffer, capacity);
  return n != 0 && n < capacity;
}

static DWORD EnvNumber(const char *name, DWORD fallback) {
  char text[32];
  return ReadEnv(name, text, sizeof(text)) ? (DWORD)strtoul(text, NULL, 10) : fallback;
}

/* Opens a staged file the way an engine reads it and reads it to the end. */
static void ReadStaged(FILE *out, const char *folder, const char *name) {
  char path[2 * MAX_PATH];
  static char block[65536];
  HANDLE file;
  unsigned long long total = 0;
  DWORD got = 0;
  snprintf(path, sizeof(path), "%s%s", folder, name);
  file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    fprintf(out, "read.%s=error %lu\n", name, (unsigned long)GetLastError());
    return;
  }
  while (ReadFile(file, block, sizeof(block), &got, NULL) && got > 0) total += got;
  CloseHandle(file);
  fprintf(out, "read.%s=%llu\n", name, total);
}

/* Reads every staged file of one list of the payload table, in its order. */
static void ReadStagedFiles(FILE *out, const char *folder, int list) {
  int i;
  for (i = 0; kStandinFiles[i].name != NULL; ++i) {
    if (kStandinFiles[i].lists & list) ReadStaged(out, folder, kStandinFiles[i].name);
  }
}

static void Hold(const char *name) {
  char folder[MAX_PATH];
  char path[2 * MAX_PATH];
  DWORD limit = EnvNumber("RELY_HOLD_MS", 60000);
  DWORD begin = GetTickCount();
  HANDLE ready;
  if (!ReadEnv("RELY_HOLD_DIR", folder, sizeof(folder))) return;
  snprintf(path, sizeof(path), "%s\\ready-%s", folder, name);
  ready = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  snprintf(path, sizeof(path), "%s\\stop-%s", folder, name);
  while (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES && GetTickCount() - begin < limit) {
    Sleep(20);
  }
}

int main(void) {
  const char *commandLine = GetCommandLineA();
  char reportPath[MAX_PATH];
  char folder[MAX_PATH];
  char name[MAX_PATH];
  FILE *out = NULL;
  if (ReadEnv("RELY_REPORT", reportPath, sizeof(reportPath))) out = fopen(reportPath, "ab");
  if (out == NULL) out = fopen("NUL", "wb");
  fprintf(out, "start=%lu\n", (unsigned long)GetCurrentProcessId());
  if (SplitPackage(commandLine, folder, name, sizeof(folder))) {
    fprintf(out, "package=%s\n", name);
    if (_stricmp(name, "au.msi") == 0) {
      ReadStagedFiles(out, folder, kStandinServiceFile);
    } else {
      HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, "HalvecWYKCabExtractWaitEvent");
      DWORD wait = WAIT_FAILED;
      if (event != NULL) {
        wait = WaitForSingleObject(event, EnvNumber("RELY_EVENT_WAIT", 30000));
        CloseHandle(event);
      }
      fprintf(out, "event=%s\n", wait == WAIT_OBJECT_0 ? "set" : "not set");
      ReadStagedFiles(out, folder, kStandinKitFile);
    }
    fflush(out);
    Hold(name);
  }
  fprintf(out, "end=%lu\n", (unsigned long)GetCurrentProcessId());
  fclose(out);
  return (int)EnvNumber("RELY_CODE", 0);
}
