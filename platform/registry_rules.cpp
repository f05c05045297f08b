#include "platform/registry_rules.h"

#include "base/bounded_text.h"

namespace {

// The character that ends at byte end of the data is zero.
bool ZeroCharacterEndsAt(const unsigned char* data, size_t end, size_t unit) {
  for (size_t i = end - unit; i < end; ++i) {
    if (data[i] != 0) return false;
  }
  return true;
}

}  // namespace

bool IsTerminatedStringData(unsigned long type, const unsigned char* data, size_t size,
                            size_t capacity, size_t unit) {
  if (size == 0 || size > capacity || unit == 0 || size % unit != 0) return false;
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
      return ZeroCharacterEndsAt(data, size, unit);
    case kRegMultiSz:
      return ZeroCharacterEndsAt(data, size, unit) &&
             (size < 2 * unit || ZeroCharacterEndsAt(data, size - unit, unit));
    default:
      return false;
  }
}

bool HasTerminatorWithin(const char* buffer, size_t capacity) {
  return BoundedLength(buffer, capacity) < capacity;
}
