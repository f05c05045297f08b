/* A stand-in for the installer engine, named msiexec.exe in its own folder
 * (or copied under any other name: a program that a test wants recorded).
 *
 * Every start appends one line to the file named by WYK_ENGINE_LOG:
 * "<file name>=<hex of GetCommandLineA()>", so records can be split byte for
 * byte whatever the command line holds.
 *
 * Optional behaviour, all through environment variables:
 *   WYK_ENGINE_CODES       exit codes per start, in order ("1603,0"); later
 *                          starts reuse the last one; unset means 0.
 *   WYK_ENGINE_SLEEP_MS    how long to wait before exiting.
 *   WYK_ENGINE_SET_STATUS  "<start>:<text>[;<start>:<text>...]": on that start
 *                          (counted from 0) store <text> as REG_SZ, terminating
 *                          zero included, in HKLM\SOFTWARE\Orvale "InstallStatus";
 *                          a text "hex:<bytes>" stores exactly those bytes, as
 *                          UTF-16 without a terminating zero.
 *   WYK_ENGINE_END_MARK    file created just before the engine exits, so the
 *                          moment shows among other file events.
 *   WYK_ENGINE_REPORT      file that receives (appended, key=value lines from
 *                          "start=<n>" to "end=<n>") what the start sees: the
 *                          package's name and, for the kit package, the hand-off
 *                          event the way a package waits on it (see WatchEvent;
 *                          at most WYK_ENGINE_EVENT_WAIT ms, default 30000); with
 *   WYK_ENGINE_HOLD_DIR    it also reads the staged files of its package the way
 *                          an engine does, then creates "ready-<package name>"
 *                          there and waits for "stop-<package name>" (at most
 *                          WYK_ENGINE_HOLD_MS, default 60000), so a test can act
 *                          meanwhile.
 *
 * Starts are counted by the records already in the log. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "engine_standin.h"
#include "hex_bytes.h"

static int ReadEnv(const char *name, char *buffer, DWORD capacity) {
  DWORD n = GetEnvironmentVariableA(name, buffer, capacity);
  return n != 0 && n < capacity;
}

static DWORD EnvNumber(const char *name, DWORD fallback) {
  char text[32];
  return ReadEnv(name, text, sizeof(text)) ? (DWORD)strtoul(text, NULL, 10) : fallback;
}

/* The starts recorded in the log before this one: one line each. */
static int EarlierStarts(const char *log) {
  int number = 0;
  int c;
  FILE *f = fopen(log, "rb");
  if (f == NULL) return 0;
  while ((c = fgetc(f)) != EOF) number += c == '\n';
  fclose(f);
  return number;
}

static void AppendRecord(const char *log, const char *commandLine) {
  char self[MAX_PATH] = "";
  const char *slash;
  FILE *f = fopen(log, "ab");
  if (f == NULL) return;
  /* The whole record leaves in one write when the file is closed. */
  setvbuf(f, NULL, _IOFBF, 1 << 20);
  GetModuleFileNameA(NULL, self, sizeof(self));
  slash = strrchr(self, '\\');
  WriteHexLine(f, slash != NULL ? slash + 1 : self, commandLine, strlen(commandLine));
  fclose(f);
}

/* The n-th comma separated code; the last one when the list is shorter. */
static DWORD ExitCodeFor(int start) {
  char list[1024];
  char *item;
  char *context = NULL;
  DWORD code = 0;
  int i = 0;
  if (!ReadEnv("WYK_ENGINE_CODES", list, sizeof(list))) return 0;
  for (item = strtok_s(list, ",", &context); item != NULL; item = strtok_s(NULL, ",", &context)) {
    code = (DWORD)strtoul(item, NULL, 0);
    if (i++ == start) break;
  }
  return code;
}

static void StoreInstallStatus(const WCHAR *text, int n) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvale", 0, NULL, 0, KEY_SET_VALUE, NULL,
                      &key, NULL) == ERROR_SUCCESS) {
    RegSetValueExW(key, L"InstallStatus", 0, REG_SZ, (const BYTE *)text, (DWORD)n * 2);
    RegCloseKey(key);
  }
}

static void SetInstallStatus(int start) {
  static char list[8192];
  static WCHAR wide[4096];
  char *item;
  char *context = NULL;
  if (!ReadEnv("WYK_ENGINE_SET_STATUS", list, sizeof(list))) return;
  for (item = strtok_s(list, ";", &context); item != NULL; item = strtok_s(NULL, ";", &context)) {
    char *text = strchr(item, ':');
    int n;
    if (text == NULL || atoi(item) != start) continue;
    if (strncmp(++text, "hex:", 4) == 0) {
      n = DecodeHex(text + 4, (unsigned char *)text, strlen(text));
      n = n > 0 ? MultiByteToWideChar(CP_ACP, 0, text, n, wide, 4095) : 0;
      /* Exactly these bytes: the setter adds a terminating zero of its own
       * when one follows the data in memory, so something else follows it. */
      wide[n] = L'X';
    } else {
      n = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 4096); /* with its zero */
    }
    StoreInstallStatus(wide, n);
  }
}

/* Opens each staged file of one list of the payload table the way an engine
 * reads it and reads it to the end. */
static void ReadStagedFiles(FILE *out, const char *folder, int list) {
  static char block[65536];
  int i;
  for (i = 0; kStandinFiles[i].name != NULL; ++i) {
    char path[2 * MAX_PATH];
    unsigned long long total = 0;
    DWORD got = 0;
    HANDLE file;
    if (!StagedPath(i, list, folder, path, sizeof(path))) continue;
    file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
      fprintf(out, "read.%s=error %lu\n", kStandinFiles[i].name, (unsigned long)GetLastError());
      continue;
    }
    while (ReadFile(file, block, sizeof(block), &got, NULL) && got > 0) total += got;
    CloseHandle(file);
    fprintf(out, "read.%s=%llu\n", kStandinFiles[i].name, total);
  }
}

static void Report(int start, const char *commandLine) {
  char path[2 * MAX_PATH];
  char hold[MAX_PATH];
  char folder[MAX_PATH];
  char name[MAX_PATH];
  int holding = ReadEnv("WYK_ENGINE_HOLD_DIR", hold, sizeof(hold));
  FILE *out;
  if (!ReadEnv("WYK_ENGINE_REPORT", path, sizeof(path)) || (out = fopen(path, "ab")) == NULL) return;
  fprintf(out, "start=%d\n", start);
  if (SplitPackage(commandLine, folder, name, sizeof(folder))) {
    int service = _stricmp(name, "au.msi") == 0;
    fprintf(out, "package=%s\n", name);
    /* The event is opened the way a package does: it must exist when we start. */
    if (!service) WatchEvent(out, folder, 0, EnvNumber("WYK_ENGINE_EVENT_WAIT", 30000));
    if (holding) ReadStagedFiles(out, folder, service ? kStandinServiceFile : kStandinKitFile);
    fflush(out);
    if (holding) {
      snprintf(path, sizeof(path), "%s\\ready-%s", hold, name);
      Touch(path);
      snprintf(path, sizeof(path), "%s\\stop-%s", hold, name);
      WaitForFile(path, EnvNumber("WYK_ENGINE_HOLD_MS", 60000));
    }
  }
  fprintf(out, "end=%d\n", start);
  fclose(out);
}

int main(void) {
  char log[MAX_PATH];
  const char *commandLine = GetCommandLineA();
  int start = 0;
  DWORD code;
  if (ReadEnv("WYK_ENGINE_LOG", log, sizeof(log))) {
    start = EarlierStarts(log);
    AppendRecord(log, commandLine);
  }
  code = ExitCodeFor(start);
  Report(start, commandLine);
  SetInstallStatus(start);
  if (ReadEnv("WYK_ENGINE_END_MARK", log, sizeof(log))) Touch(log);
  Sleep(EnvNumber("WYK_ENGINE_SLEEP_MS", 0));
  return (int)code;
}
