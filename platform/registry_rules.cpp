#include "platform/registry_rules.h"

#include "base/bounded_text.h"

bool IsTerminatedStringData(unsigned long type, const unsigned char* data, size_t size,
                            size_t capacity) {
  if (size == 0 || size > capacity) return false;
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
      return data[size - 1] == 0;
    case kRegMultiSz:
      return data[size - 1] == 0 && (size < 2 || data[size - 2] == 0);
    default:
      return false;
  }
}

bool HasTerminatorWithin(const char* buffer, size_t capacity) {
  return BoundedLength(buffer, capacity) < capacity;
}
