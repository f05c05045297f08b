// Judging the data of a registry value that is meant to hold text.
#ifndef WYK_PLATFORM_REGISTRY_RULES_H
#define WYK_PLATFORM_REGISTRY_RULES_H

#include <stddef.h>

enum RegistryValueType {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegMultiSz = 7
};

// True when size bytes of data (the size the query reported) of the given type
// form a complete text in a buffer of capacity bytes: a string type that ends
// in its terminating zero (a multi-string in two), and nothing larger than the
// buffer. Characters are unit bytes wide: 1, or 2 for a value read by the wide
// call. A size of 0 is judged by the caller, not here.
bool IsTerminatedStringData(unsigned long type, const unsigned char* data, size_t size,
                            size_t capacity, size_t unit = 1);

// The text of a value read raw into a zero-filled buffer: usable only when a
// terminating zero lies within the buffer.
bool HasTerminatorWithin(const char* buffer, size_t capacity);

#endif
