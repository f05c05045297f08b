// Splits a fuzzer's bytes into zero-terminated pieces that outlive the call.
#ifndef WYK_TESTS_FUZZ_FUZZ_INPUT_H
#define WYK_TESTS_FUZZ_FUZZ_INPUT_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

inline std::vector<std::string> SplitOnZero(const uint8_t* data, size_t size) {
  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      pieces.push_back(std::string());
    } else {
      pieces.back().push_back(static_cast<char>(data[i]));
    }
  }
  return pieces;
}

// The text must be terminated within its capacity and as long as it claims.
inline void CheckTerminated(const char* text, size_t length, size_t capacity) {
  if (length >= capacity || strlen(text) != length) __builtin_trap();
}

#endif
