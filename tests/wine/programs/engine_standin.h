/* What the engine stand-ins share: where the package named on their command
 * line lies, and the cabinets' sizes as they report them. */
#ifndef WYK_TESTS_ENGINE_STANDIN_H
#define WYK_TESTS_ENGINE_STANDIN_H

#include <windows.h>
#include <stdio.h>
#include <string.h>

/* The staged files by who writes them, from the one payload table, in its order. */
#define WYK_STANDIN_KIT_kWrittenByMainSequence(name) name,
#define WYK_STANDIN_KIT_kWrittenByCabinetThread(name) name,
#define WYK_STANDIN_KIT_kWrittenByUpdateService(name)
#define WYK_STANDIN_CAB_kWrittenByMainSequence(name)
#define WYK_STANDIN_CAB_kWrittenByCabinetThread(name) name,
#define WYK_STANDIN_CAB_kWrittenByUpdateService(name)
#define WYK_STANDIN_AU_kWrittenByMainSequence(name)
#define WYK_STANDIN_AU_kWrittenByCabinetThread(name)
#define WYK_STANDIN_AU_kWrittenByUpdateService(name) name,

/* The kit package and the five cabinets; the list ends with a null pointer. */
static inline const char *const *StandinKitFiles(void) {
  static const char *const names[] = {
#define WYK_PAYLOAD_ROW(writer, type, id, name) WYK_STANDIN_KIT_##writer(name)
#include "../../../payload/payload_rows.def"
#undef WYK_PAYLOAD_ROW
      NULL};
  return names;
}

/* The five cabinets; the list ends with a null pointer. */
static inline const char *const *StandinCabinets(void) {
  static const char *const names[] = {
#define WYK_PAYLOAD_ROW(writer, type, id, name) WYK_STANDIN_CAB_##writer(name)
#include "../../../payload/payload_rows.def"
#undef WYK_PAYLOAD_ROW
      NULL};
  return names;
}

/* The update service's cabinet and package; the list ends with a null pointer. */
static inline const char *const *StandinServiceFiles(void) {
  static const char *const names[] = {
#define WYK_PAYLOAD_ROW(writer, type, id, name) WYK_STANDIN_AU_##writer(name)
#include "../../../payload/payload_rows.def"
#undef WYK_PAYLOAD_ROW
      NULL};
  return names;
}

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
  const char *const *kCabinets = StandinCabinets();
  int i;
  for (i = 0; kCabinets[i] != NULL; ++i) {
    char path[2 * MAX_PATH];
    WIN32_FILE_ATTRIBUTE_DATA data;
    snprintf(path, sizeof(path), "%s%s", folder, kCabinets[i]);
    if (GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
      unsigned long long size = ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
      fprintf(out, "%s.%s=%llu\n", label, kCabinets[i], size);
    } else {
      fprintf(out, "%s.%s=missing\n", label, kCabinets[i]);
    }
  }
}

#endif
