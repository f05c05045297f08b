/* A stand-in for the installer engine, named msiexec.exe in its own folder.
 *
 * Every start appends one record to the file named by WYK_ENGINE_LOG:
 *   "CMDLINE <n>\n" followed by the n bytes of GetCommandLineA() and "\n",
 * so records can be split byte for byte whatever the command line holds.
 *
 * Optional behaviour, all through environment variables:
 *   WYK_ENGINE_CODES       exit codes per start, in order ("1603,0"); later
 *                          starts reuse the last one; unset means 0.
 *   WYK_ENGINE_SET_STATUS  "<start>:<text>[;<start>:<text>...]": on that start
 *                          (counted from 0) store <text> as REG_SZ, terminating
 *                          zero included, in HKLM\SOFTWARE\Orvale "InstallStatus".
 *   WYK_ENGINE_PROBE       file that receives what the start sees of the
 *                          hand-off event and of the cabinets (key=value lines).
 *   WYK_ENGINE_PROBE_WAIT  how long the probe waits for the event, in ms.
 *   WYK_ENGINE_END_MARK    file created just before the engine exits, so the
 *                          moment shows among other file events.
 *
 * The start number is kept in "<WYK_ENGINE_LOG>.count". */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "engine_standin.h"

static int ReadEnv(const char *name, char *buffer, DWORD capacity) {
  DWORD n = GetEnvironmentVariableA(name, buffer, capacity);
  return n != 0 && n < capacity;
}

static int NextStartNumber(const char *log) {
  char counterPath[MAX_PATH + 16];
  FILE *f;
  int number = 0;
  snprintf(counterPath, sizeof(counterPath), "%s.count", log);
  f = fopen(counterPath, "rb");
  if (f != NULL) {
    if (fscanf(f, "%d", &number) != 1) number = 0;
    fclose(f);
  }
  f = fopen(counterPath, "wb");
  if (f != NULL) {
    fprintf(f, "%d", number + 1);
    fclose(f);
  }
  return number;
}

static void AppendRecord(const char *log, const char *commandLine) {
  FILE *f = fopen(log, "ab");
  size_t n = strlen(commandLine);
  if (f == NULL) return;
  fprintf(f, "CMDLINE %u\n", (unsigned)n);
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
    code = (DWORD)strtoul(item, NULL, 10);
    if (i++ == start) break;
  }
  return code;
}

static void SetInstallStatus(int start) {
  char list[1024];
  char *item;
  char *context = NULL;
  if (!ReadEnv("WYK_ENGINE_SET_STATUS", list, sizeof(list))) return;
  for (item = strtok_s(list, ";", &context); item != NULL; item = strtok_s(NULL, ";", &context)) {
    char *colon = strchr(item, ':');
    HKEY key;
    if (colon == NULL || atoi(item) != start) continue;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvale", 0, NULL, 0, KEY_SET_VALUE, NULL,
                        &key, NULL) == ERROR_SUCCESS) {
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

int main(void) {
  char log[MAX_PATH];
  const char *commandLine = GetCommandLineA();
  int start = 0;
  DWORD code;
  if (ReadEnv("WYK_ENGINE_LOG", log, sizeof(log))) {
    start = NextStartNumber(log);
    AppendRecord(log, commandLine);
  }
  code = ExitCodeFor(start);
  Probe(start, commandLine);
  SetInstallStatus(start);
  if (ReadEnv("WYK_ENGINE_END_MARK", log, sizeof(log))) {
    HANDLE mark = CreateFileA(log, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
  }
  return (int)code;
}
