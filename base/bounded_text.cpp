#include "base/bounded_text.h"

BoundedText::BoundedText(char* buffer, size_t capacity)
    : buffer_(buffer), capacity_(capacity), length_(0), fits_(true) {
  if (capacity_ > 0) buffer_[0] = '\0';
}

bool BoundedText::AdoptWritten() {
  size_t n = BoundedLength(buffer_, capacity_);
  if (n >= capacity_) {
    if (capacity_ > 0) buffer_[0] = '\0';
    length_ = 0;
    return false;
  }
  length_ = n;
  return true;
}

void BoundedText::Clear() {
  if (capacity_ > 0) buffer_[0] = '\0';
  length_ = 0;
  fits_ = true;
}

bool BoundedText::Assign(const char* text) {
  if (capacity_ > 0) buffer_[0] = '\0';
  length_ = 0;
  return Append(text);
}

bool BoundedText::Append(const char* text) {
  // Measure no further than the room left plus one, so an endless source costs nothing.
  size_t room = capacity_ - 1 - length_;
  size_t n = BoundedLength(text, room + 1);
  return AppendN(text, n);
}

bool BoundedText::AppendN(const char* text, size_t count) {
  if (capacity_ == 0 || count > capacity_ - 1 - length_) {
    fits_ = false;
    return false;
  }
  for (size_t i = 0; i < count; ++i) buffer_[length_ + i] = text[i];
  length_ += count;
  buffer_[length_] = '\0';
  return true;
}

bool BoundedText::AppendChar(char c) { return AppendN(&c, 1); }

bool BoundedText::AppendDecimal(long value) {
  char digits[24];
  size_t n = 0;
  // Work on the unsigned magnitude so the most negative value has no overflow.
  unsigned long magnitude = value < 0 ? 0UL - static_cast<unsigned long>(value)
                                      : static_cast<unsigned long>(value);
  do {
    digits[sizeof(digits) - 1 - n] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
    ++n;
  } while (magnitude != 0);
  if (value < 0) {
    digits[sizeof(digits) - 1 - n] = '-';
    ++n;
  }
  return AppendN(digits + sizeof(digits) - n, n);
}

size_t BoundedLength(const char* text, size_t max) {
  size_t n = 0;
  while (n < max && text[n] != '\0') ++n;
  return n;
}

bool ContainsText(const char* haystack, const char* needle) {
  if (*needle == '\0') return true;
  for (; *haystack != '\0'; ++haystack) {
    if (StartsWith(haystack, needle)) return true;
  }
  return false;
}

bool StartsWith(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++prefix, ++text) {
    if (*text != *prefix) return false;
  }
  return true;
}

bool TextEquals(const char* a, const char* b) {
  for (; *a != '\0' && *a == *b; ++a, ++b) {
  }
  return *a == *b;
}

static char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool TextEqualsIgnoreAsciiCase(const char* a, const char* b) {
  for (; *a != '\0' && LowerAscii(*a) == LowerAscii(*b); ++a, ++b) {
  }
  return LowerAscii(*a) == LowerAscii(*b);
}

bool AppendQuoted(BoundedText& out, const char* text) {
  return out.AppendChar('"') && out.Append(text) && out.AppendChar('"');
}
