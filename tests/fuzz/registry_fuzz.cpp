// Judging registry data: never reads past the reported size or the capacity.
#include <vector>

#include "fuzz_input.h"
#include "platform/registry_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  unsigned long type = data[0] % 12;
  size_t capacity = data[1];
  // The query reports sizes up to twice the capacity when the value did not fit.
  size_t reported = data[2] % (2 * capacity + 2);
  // Only the capacity is real memory, exactly as with a caller's buffer.
  std::vector<unsigned char> buffer(data + 3, data + size);
  buffer.resize(capacity);
  bool valid = IsTerminatedStringData(type, buffer.data(), reported, capacity);
  if (valid) {
    if (reported == 0 || reported > capacity || buffer[reported - 1] != 0) __builtin_trap();
    if (type != 1 && type != 2 && type != 7) __builtin_trap();
  }
  std::vector<char> text(buffer.begin(), buffer.end());
  if (!text.empty()) {
    bool terminated = HasTerminatorWithin(text.data(), text.size());
    if (terminated != (memchr(text.data(), 0, text.size()) != NULL)) __builtin_trap();
  }
  return 0;
}
