/* What the engine stand-ins report about the cabinets: each one's size, or
 * "missing", one "<label>.<name>=<size>" line per cabinet, in writing order. */
#ifndef WYK_TESTS_CABINET_SIZES_H
#define WYK_TESTS_CABINET_SIZES_H

#include <windows.h>
#include <stdio.h>

static const char *const kCabinets[5] = {
    "sd170000.cab", "ss170000.cab", "st170000.cab", "sj170000.cab", "sz170000.cab"};

static void WriteSizes(FILE *out, const char *label, const char *folder) {
  int i;
  for (i = 0; i < 5; ++i) {
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
