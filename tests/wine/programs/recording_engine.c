/* A stand-in for the installer engine, named msiexec.exe in its own folder
 * (or copied under any other name: a program that a test wants recorded).
 *
 * Every start appends one record to the file named by WYK_ENGINE_LOG:
 *   "START <file name>\nCMDLINE <n>\n" followed by the n bytes of
 * GetCommandLineA() and "\n", so records can be split byte for byte whatever
 * the command line holds.
 *
 * Optional behaviour, all through environment variables:
 *   WYK_ENGINE_CODES       exit codes per start, in order ("1603,0"); later
 *                          starts reuse the last one; unset means 0.
 *   WYK_ENGINE_SLEEP_MS    how long to wait before exiting.
 *   WYK_ENGINE_SET_STATUS  "<start>:<text>[;<start>:<text>...]": on that start
 *                          (counted from 0) store <text> as REG_SZ, terminating
 *                          zero included, in HKLM\SOFTWARE\Orvale "InstallStatus".
 *   WYK_ENGINE_STATUS_HEX  the same on the first start, but exactly the bytes
 *                          given in hex, as UTF-16 without a terminating zero.
 *   WYK_ENGINE_PROBE       file that receives what the start sees of the
 *                          hand-off event and of the cabinets (key=value lines).
 *   WYK_ENGINE_PROBE_WAIT  how long the probe waits for the event, in ms.
 *   WYK_ENGINE_END_MARK    file created just before the engine exits, so the
 *                          moment shows among other file events.
 *   WYK_ENGINE_REPORT      file that receives (appended) what an engine that
 *                          takes its time sees: it waits for the hand-off event
 *                          (kit package only), reads the staged files of its
 *                          package the way an engine does, and with
 *   WYK_ENGINE_HOLD_DIR    creates "ready-<package name>" there and waits for
 *                          "stop-<package name>" (at most WYK_ENGINE_HOLD_MS,
 *                          default 60000), so a test can act meanwhile.
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

/* The starts recorded in the log before this one. */
static int EarlierStarts(const char *log) {
  char header[512];
  int number = 0;
  unsigned n;
  FILE *f = fopen(log, "rb");
  if (f == NULL) return 0;
  while (fgets(header, sizeof(header), f) != NULL) {
    if (strncmp(header, "START ", 6) == 0) ++number;
    if (sscanf(header, "CMDLINE %u", &n) == 1) fseek(f, (long)n + 1, SEEK_CUR);
  }
  fclose(f);
  return number;
}

static void AppendRecord(const char *log, const char *commandLine) {
  char self[MAX_PATH];
  const char *name = self;
  const char *p;
  FILE *f = fopen(log, "ab");
  size_t n = strlen(commandLine);
  if (f == NULL) return;
  if (GetModuleFileNameA(NULL, self, sizeof(self)) == 0) self[0] = '\0';
  for (p = self; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  fprintf(f, "START %s\nCMDLINE %u\n", name, (unsigned)n);
  fwrite(commandLine, 1, n, f);
  fputc('\n', f);
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

static HKEY VendorKey(void) {
  HKEY key;
  return RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvale", 0, NULL, 0, KEY_SET_VALUE, NULL,
                         &key, NULL) == ERROR_SUCCESS ? key : NULL;
}

static void SetInstallStatus(int start) {
  static char list[8192];
  static WCHAR wide[4096];
  char *item;
  char *context = NULL;
  HKEY key;
  if (start == 0 && ReadEnv("WYK_ENGINE_STATUS_HEX", list, sizeof(list))) {
    int n = DecodeHex(list, (unsigned char *)list, sizeof(list));
    n = n > 0 ? MultiByteToWideChar(CP_ACP, 0, list, n, wide, 4095) : 0;
    /* Exactly these bytes: the setter adds a terminating zero of its own when
     * one follows the data in memory, so something else follows it. */
    wide[n] = L'X';
    if ((key = VendorKey()) != NULL) {
      RegSetValueExW(key, L"InstallStatus", 0, REG_SZ, (const BYTE *)wide, (DWORD)n * 2);
      RegCloseKey(key);
    }
  }
  if (!ReadEnv("WYK_ENGINE_SET_STATUS", list, sizeof(list))) return;
  for (item = strtok_s(list, ";", &context); item != NULL; item = strtok_s(NULL, ";", &context)) {
    char *colon = strchr(item, ':');
    if (colon == NULL || atoi(item) != start) continue;
    if ((key = VendorKey()) != NULL) {
      RegSetValueExA(key, "InstallStatus", 0, REG_SZ, (const BYTE *)(colon + 1),
                     (DWORD)strlen(colon + 1) + 1);
      RegCloseKey(key);
    }
  }
}

static void Probe(int start, const char *commandLine) {
  char probePath[MAX_PATH];
  char waitText[32];
  char folder[MAX_PATH];
  char name[MAX_PATH];
  DWORD waitMs = 60000;
  HANDLE event;
  FILE *out;
  if (!ReadEnv("WYK_ENGINE_PROBE", probePath, sizeof(probePath))) return;
  if (ReadEnv("WYK_ENGINE_PROBE_WAIT", waitText, sizeof(waitText))) waitMs = (DWORD)atol(waitText);
  out = fopen(probePath, "ab");
  if (out == NULL) return;
  if (!SplitPackage(commandLine, folder, name, sizeof(folder))) folder[0] = '\0';
  fprintf(out, "start=%d\n", start);

  /* Opened the way a package does: it must already exist when we start. */
  event = OpenEventA(SYNCHRONIZE, FALSE, "HalvecWYKCabExtractWaitEvent");
  fprintf(out, "event_exists_at_start=%d\n", event != NULL ? 1 : 0);
  if (event != NULL) {
    DWORD now = WaitForSingleObject(event, 0);
    fprintf(out, "event_set_at_start=%d\n", now == WAIT_OBJECT_0 ? 1 : 0);
    WriteSizes(out, "at_start", folder);
    fflush(out);
    if (WaitForSingleObject(event, waitMs) == WAIT_OBJECT_0) {
      WriteSizes(out, "at_set", folder);
      fprintf(out, "event_wait=set\n");
    } else {
      fprintf(out, "event_wait=timeout\n");
    }
    CloseHandle(event);
  } else {
    WriteSizes(out, "at_start", folder);
  }
  fprintf(out, "end=%d\n", start);
  fclose(out);
}

static DWORD EnvNumber(const char *name, DWORD fallback) {
  char text[32];
  return ReadEnv(name, text, sizeof(text)) ? (DWORD)strtoul(text, NULL, 10) : fallback;
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
    if ((kStandinFiles[i].lists & list) == 0) continue;
    snprintf(path, sizeof(path), "%s%s", folder, kStandinFiles[i].name);
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

static void ReadAndHold(const char *commandLine) {
  char path[2 * MAX_PATH];
  char folder[MAX_PATH];
  char name[MAX_PATH];
  DWORD begin;
  FILE *out;
  if (!ReadEnv("WYK_ENGINE_REPORT", path, sizeof(path)) || (out = fopen(path, "ab")) == NULL) return;
  fprintf(out, "start=%lu\n", (unsigned long)GetCurrentProcessId());
  if (SplitPackage(commandLine, folder, name, sizeof(folder))) {
    fprintf(out, "package=%s\n", name);
    if (_stricmp(name, "au.msi") == 0) {
      ReadStagedFiles(out, folder, kStandinServiceFile);
    } else {
      HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, "HalvecWYKCabExtractWaitEvent");
      DWORD wait = event != NULL ? WaitForSingleObject(event, 30000) : WAIT_FAILED;
      if (event != NULL) CloseHandle(event);
      fprintf(out, "event=%s\n", wait == WAIT_OBJECT_0 ? "set" : "not set");
      ReadStagedFiles(out, folder, kStandinKitFile);
    }
    fflush(out);
    if (ReadEnv("WYK_ENGINE_HOLD_DIR", folder, sizeof(folder))) {
      HANDLE ready;
      snprintf(path, sizeof(path), "%s\\ready-%s", folder, name);
      ready = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
      if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
      snprintf(path, sizeof(path), "%s\\stop-%s", folder, name);
      begin = GetTickCount();
      while (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES &&
             GetTickCount() - begin < EnvNumber("WYK_ENGINE_HOLD_MS", 60000)) {
        Sleep(20);
      }
    }
  }
  fprintf(out, "end=%lu\n", (unsigned long)GetCurrentProcessId());
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
  Probe(start, commandLine);
  ReadAndHold(commandLine);
  SetInstallStatus(start);
  if (ReadEnv("WYK_ENGINE_END_MARK", log, sizeof(log))) {
    HANDLE mark = CreateFileA(log, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
  }
  Sleep(EnvNumber("WYK_ENGINE_SLEEP_MS", 0));
  return (int)code;
}
