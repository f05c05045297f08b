// The log stamp from any broken-down time: well formed or refused, never out of bounds.
#include <time.h>

#include "diagnostics/log_stamp.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int fields[9] = {0};
  for (size_t i = 0; i < 9 && (i + 1) * 4 <= size; ++i) memcpy(&fields[i], data + i * 4, 4);
  struct tm t;
  memset(&t, 0, sizeof(t));
  t.tm_sec = fields[0];
  t.tm_min = fields[1];
  t.tm_hour = fields[2];
  t.tm_mday = fields[3];
  t.tm_mon = fields[4];
  t.tm_year = fields[5];
  t.tm_wday = fields[6];
  FixedText<256> prefix;
  if (FormatLogPrefix(prefix, &t)) {
    // "\n" + 24 characters + "\n" + ":: "
    if (prefix.Length() != 29 || prefix.Text()[0] != '\n' || prefix.Text()[25] != '\n' ||
        strcmp(prefix.Text() + 26, ":: ") != 0) {
      __builtin_trap();
    }
  } else if (prefix.Length() != 0) {
    __builtin_trap();
  }
  return 0;
}
