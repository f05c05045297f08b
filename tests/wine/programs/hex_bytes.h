/* Hex text to bytes and back, for the test programs that take or print exact
 * bytes (C and C++). */
#ifndef WYK_TESTS_HEX_BYTES_H
#define WYK_TESTS_HEX_BYTES_H

#include <ctype.h>
#include <stdio.h>
#include <string.h>

/* Decodes hex pairs into out; returns the byte count, or -1 on bad input or
 * when more than capacity bytes would result. */
static inline int DecodeHex(const char *hex, unsigned char *out, size_t capacity) {
  size_t n = strlen(hex);
  size_t i;
  unsigned value;
  if (n % 2 != 0 || n / 2 > capacity) return -1;
  for (i = 0; i < n; i += 2) {
    if (!isxdigit((unsigned char)hex[i]) || !isxdigit((unsigned char)hex[i + 1])) return -1;
    sscanf(hex + i, "%2x", &value);
    out[i / 2] = (unsigned char)value;
  }
  return (int)(n / 2);
}

static inline void WriteHex(FILE *out, const void *data, size_t n) {
  size_t i;
  for (i = 0; i < n; ++i) fprintf(out, "%02x", ((const unsigned char *)data)[i]);
}

/* One "<key>=<hex of the bytes>" line, the form the test programs report in. */
static inline void WriteHexLine(FILE *out, const char *key, const void *data, size_t n) {
  fprintf(out, "%s=", key);
  WriteHex(out, data, n);
  fputc('\n', out);
}

#endif
