/* Hex text to bytes and back, for the test programs that take or print exact
 * bytes (C and C++). */
#ifndef WYK_TESTS_HEX_BYTES_H
#define WYK_TESTS_HEX_BYTES_H

#include <ctype.h>
#include <stdio.h>
#include <string.h>

static inline int HexDigit(char c) {
  static const char digits[] = "0123456789abcdef";
  const char *p = c != '\0' ? strchr(digits, tolower((unsigned char)c)) : NULL;
  return p != NULL ? (int)(p - digits) : -1;
}

/* Decodes hex pairs into out; returns the byte count, or -1 on bad input or
 * when more than capacity bytes would result. */
static inline int DecodeHex(const char *hex, unsigned char *out, size_t capacity) {
  size_t n = strlen(hex);
  size_t i;
  if (n % 2 != 0 || n / 2 > capacity) return -1;
  for (i = 0; i < n; i += 2) {
    int hi = HexDigit(hex[i]);
    int lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return -1;
    out[i / 2] = (unsigned char)(hi * 16 + lo);
  }
  return (int)(n / 2);
}

static inline void WriteHex(FILE *out, const void *data, size_t n) {
  size_t i;
  for (i = 0; i < n; ++i) fprintf(out, "%02x", ((const unsigned char *)data)[i]);
}

#endif
