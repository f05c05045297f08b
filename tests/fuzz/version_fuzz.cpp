// Version decisions: the engine gate and the update-service text comparison.
#include <vector>

#include "followon/followon_rules.h"
#include "fuzz_input.h"
#include "platform/engine_rules.h"

namespace {
int ByteOrder(const char* a, const char* b) { return strcmp(a, b); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 8) {
    unsigned long high = data[0] | data[1] << 8 | static_cast<unsigned long>(data[2]) << 16 |
                         static_cast<unsigned long>(data[3]) << 24;
    unsigned long low = data[4] | data[5] << 8 | static_cast<unsigned long>(data[6]) << 16 |
                        static_cast<unsigned long>(data[7]) << 24;
    unsigned long long joined = static_cast<unsigned long long>(high) << 32 | low;
    bool expected = joined >= 0x000200000A280000ULL;
    if (IsEngineVersionAccepted(high, low) != expected) __builtin_trap();
  }
  // An unterminated buffer of exactly the input's size: must not be read past.
  std::vector<char> recorded(data, data + size);
  if (recorded.empty()) return 0;
  bool older = IsOlderUpdateServiceVersion(recorded.data(), recorded.size(), ByteOrder);
  const void* zero = memchr(recorded.data(), 0, recorded.size());
  if (zero == NULL) {
    if (older) __builtin_trap();
  } else if (older != (strcmp(recorded.data(), "2.1.5.1") < 0)) {
    __builtin_trap();
  }
  return 0;
}
