/* What the engine stand-ins share: where the package named on their command
 * line lies, and the cabinets' sizes as they report them. */
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

/* Each cabinet's size, or "missing": one "<label>.<name>=<size>" line per
 * cabinet, in writing order. */
static inline void WriteSizes(FILE *out, const char *label, const char *folder) {
  int i;
  for (i = 0; kStandinFiles[i].name != NULL; ++i) {
    const char *name = kStandinFiles[i].name;
    char path[2 * MAX_PATH];
    if ((kStandinFiles[i].lists & kStandinCabinet) == 0) continue;
    WIN32_FILE_ATTRIBUTE_DATA data;
    snprintf(path, sizeof(path), "%s%s", folder, name);
    if (GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
      unsigned long long size = ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
      fprintf(out, "%s.%s=%llu\n", label, name, size);
    } else {
      fprintf(out, "%s.%s=missing\n", label, name);
    }
  }
}

#endif
