// A text in a fixed buffer owned by someone else. Every copy, append and number
// formatting of the program goes through here, so no write can pass the buffer's
// end. A piece that does not fit is refused whole: the text keeps what it had,
// and the refusal is remembered so a caller can check once after composing.
#ifndef WYK_BASE_BOUNDED_TEXT_H
#define WYK_BASE_BOUNDED_TEXT_H

#include <stddef.h>

class BoundedText {
 public:
  // capacity counts the terminating zero; the buffer is made an empty text.
  BoundedText(char* buffer, size_t capacity);

  // Adopts whatever an outside writer (a platform call) left in the buffer.
  // Returns false, and empties the text, when no terminating zero lies within
  // the capacity.
  bool AdoptWritten();

  void Clear();
  bool Assign(const char* text);
  bool Append(const char* text);
  bool AppendN(const char* text, size_t count);
  bool AppendChar(char c);
  bool AppendDecimal(long value);

  const char* Text() const { return buffer_; }
  char* Data() { return buffer_; }
  size_t Length() const { return length_; }
  size_t Capacity() const { return capacity_; }
  bool IsEmpty() const { return length_ == 0; }
  // False once any piece has been refused since construction or Clear().
  bool Fits() const { return fits_; }

 private:
  BoundedText(const BoundedText&);
  BoundedText& operator=(const BoundedText&);

  char* buffer_;
  size_t capacity_;
  size_t length_;
  bool fits_;
};

// A bounded text with its own storage of N characters (terminating zero included).
template <size_t N>
class FixedText : public BoundedText {
 public:
  FixedText() : BoundedText(storage_, N) {}

 private:
  char storage_[N];
};

// Length of a text, but never looking past max bytes; max when no zero is found.
size_t BoundedLength(const char* text, size_t max);

// Byte-wise search and comparison helpers shared by the decision code.
bool ContainsText(const char* haystack, const char* needle);
bool StartsWith(const char* text, const char* prefix);
bool TextEquals(const char* a, const char* b);
bool TextEqualsIgnoreAsciiCase(const char* a, const char* b);

// Appends "\"<text>\"" to out. False when it does not fit.
bool AppendQuoted(BoundedText& out, const char* text);

#endif
