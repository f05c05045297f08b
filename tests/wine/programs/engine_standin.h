/* What the engine stand-in and the observer share: where the package named on
 * the command line lies, the staged files, the cabinets' sizes and the
 * hand-off event as they report them, and the signs exchanged with a test. */
#ifndef WYK_TESTS_ENGINE_STANDIN_H
#define WYK_TESTS_ENGINE_STANDIN_H

#include <windows.h>
#include <stdio.h>
#include <string.h>

/* The staged files of the one payload table, in its (writing) order, each
 * marked with the lists it belongs to; the table ends with a null name. */
enum { kStandinKitFile = 1, kStandinCabinet = 2, kStandinServiceFile = 4 };
#define kWrittenByMainSequence kStandinKitFile
#define kWrittenByCabinetThread (kStandinKitFile | kStandinCabinet)
#define kWrittenByUpdateService kStandinServiceFile
static const struct {
  int lists;
  const char *name;
} kStandinFiles[] = {
#define WYK_PAYLOAD_ROW(writer, type, id, name) {writer, name},
#include "../../../payload/payload_rows.def"
#undef WYK_PAYLOAD_ROW
    {0, NULL}};
#undef kWrittenByMainSequence
#undef kWrittenByCabinetThread
#undef kWrittenByUpdateService

/* Splits the quoted path after " /i " into its folder (with the trailing
 * backslash) and its file name; each buffer holds capacity bytes. */
static inline int SplitPackage(const char *commandLine, char *folder, char *name, size_t capacity) {
  const char *start = strstr(commandLine, " /i \"");
  const char *end;
  const char *slash = NULL;
  const char *p;
  if (start == NULL) return 0;
  start += 5;
  end = strchr(start, '"');
  if (end == NULL) return 0;
  for (p = start; p < end; ++p) {
    if (*p == '\\') slash = p;
  }
  if (slash == NULL || (size_t)(end - start) + 1 > capacity) return 0;
  memcpy(folder, start, (size_t)(slash - start + 1));
  folder[slash - start + 1] = '\0';
  memcpy(name, slash + 1, (size_t)(end - slash - 1));
  name[end - slash - 1] = '\0';
  return 1;
}

/* The path of row i of the table in folder, when the row belongs to list. */
static inline int StagedPath(int i, int list, const char *folder, char *path, size_t capacity) {
  if ((kStandinFiles[i].lists & list) == 0) return 0;
  snprintf(path, capacity, "%s%s", folder, kStandinFiles[i].name);
  return 1;
}

/* Each cabinet's size, or "missing": one "<label>.<name>=<size>" line per
 * cabinet, in writing order. */
static inline void WriteSizes(FILE *out, const char *label, const char *folder) {
  int i;
  for (i = 0; kStandinFiles[i].name != NULL; ++i) {
    char path[2 * MAX_PATH];
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!StagedPath(i, kStandinCabinet, folder, path, sizeof(path))) continue;
    fprintf(out, "%s.%s=", label, kStandinFiles[i].name);
    if (GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
      fprintf(out, "%llu\n", ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow);
    } else {
      fprintf(out, "missing\n");
    }
  }
}

/* Creates an empty file: a sign a test waits for or sees among file events. */
static inline void Touch(const char *path) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

/* Waits until a file exists (a test's sign to go on) or limitMs have passed. */
static inline void WaitForFile(const char *path, DWORD limitMs) {
  DWORD begin = GetTickCount();
  while (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES && GetTickCount() - begin < limitMs) {
    Sleep(20);
  }
}

/* The hand-off event as one who waits on it sees it, in key=value lines:
 * seen=0/1 (opened within pollMs, never created here: the bootstrapper must
 * find no event of that name), set_when_seen=0/1 and at_seen.<cabinet> sizes,
 * then after waiting up to waitMs set=0/1 and, when set, at_set.<cabinet>
 * sizes. Gives whether it was set. */
static inline int WatchEvent(FILE *out, const char *folder, DWORD pollMs, DWORD waitMs) {
  DWORD begin = GetTickCount();
  HANDLE event;
  int set;
  while ((event = OpenEventA(SYNCHRONIZE, FALSE, "HalvecWYKCabExtractWaitEvent")) == NULL &&
         GetTickCount() - begin < pollMs) {
    Sleep(1);
  }
  fprintf(out, "seen=%d\n", event != NULL ? 1 : 0);
  if (event == NULL) return 0;
  fprintf(out, "set_when_seen=%d\n", WaitForSingleObject(event, 0) == WAIT_OBJECT_0 ? 1 : 0);
  WriteSizes(out, "at_seen", folder);
  fflush(out);
  set = WaitForSingleObject(event, waitMs) == WAIT_OBJECT_0;
  if (set) WriteSizes(out, "at_set", folder);
  fprintf(out, "set=%d\n", set);
  CloseHandle(event);
  return set;
}

#endif
