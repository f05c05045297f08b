// Judging what a registry query left in a buffer: only a complete text of a
// string type counts; everything else reads as empty.
#include "platform/registry_rules.h"

#include <gtest/gtest.h>
#include <string.h>

#include <vector>

namespace {

// The buffer holds exactly the capacity, so a read past it is caught.
bool Judge(unsigned long type, const std::vector<unsigned char>& stored, size_t capacity,
           size_t unit = 1) {
  std::vector<unsigned char> buffer(capacity, 0xCC);
  memcpy(buffer.data(), stored.data(), stored.size() < capacity ? stored.size() : capacity);
  return IsTerminatedStringData(type, buffer.data(), stored.size(), capacity, unit);
}

std::vector<unsigned char> Bytes(const char* text, size_t count) {
  return std::vector<unsigned char>(text, text + count);
}

}  // namespace

TEST(IsTerminatedStringData, StringsNeedTheirTerminatingZero) {
  EXPECT_TRUE(Judge(kRegSz, Bytes("reinstall", 10), 512));
  EXPECT_FALSE(Judge(kRegSz, Bytes("reinstall", 9), 512));
  EXPECT_TRUE(Judge(kRegSz, Bytes("", 1), 512));
  EXPECT_TRUE(Judge(kRegExpandSz, Bytes("%TEMP%", 7), 512));
  EXPECT_FALSE(Judge(kRegExpandSz, Bytes("%TEMP%", 6), 512));
  // Only the last byte counts; an inner zero does not make it invalid.
  EXPECT_TRUE(Judge(kRegSz, Bytes("a\0b", 4), 512));
}

TEST(IsTerminatedStringData, ExactlyTheCapacityFitsOneMoreDoesNot) {
  EXPECT_TRUE(Judge(kRegSz, Bytes("abcdefg", 8), 8));
  // The query reports the size it needs; the buffer holds only part of it.
  EXPECT_FALSE(Judge(kRegSz, Bytes("abcdefgh", 9), 8));
  EXPECT_FALSE(Judge(kRegSz, Bytes(std::string(2000, 'x').c_str(), 2001), 1024));
}

TEST(IsTerminatedStringData, MultiStringsNeedTwoZerosUnlessOneByteLong) {
  EXPECT_TRUE(Judge(kRegMultiSz, Bytes("", 1), 16));
  EXPECT_TRUE(Judge(kRegMultiSz, Bytes("\0", 2), 16));
  EXPECT_TRUE(Judge(kRegMultiSz, Bytes("a\0b\0", 5), 16));
  EXPECT_FALSE(Judge(kRegMultiSz, Bytes("a", 2), 16));
  EXPECT_FALSE(Judge(kRegMultiSz, Bytes("ab", 2), 16));
  EXPECT_FALSE(Judge(kRegMultiSz, Bytes("a\0b", 4), 16));
  EXPECT_FALSE(Judge(kRegMultiSz, Bytes("a\0\0", 4), 3));
}

// Read by the wide call: the last character, two bytes, must be zero.
TEST(IsTerminatedStringData, WideTextsEndInAZeroCharacter) {
  EXPECT_TRUE(Judge(kRegSz, Bytes("C\0\0\0", 4), 16, 2));
  EXPECT_FALSE(Judge(kRegSz, Bytes("\0A\0", 3), 16, 2));   // half a character
  EXPECT_FALSE(Judge(kRegSz, Bytes("A\0\0A", 4), 16, 2));  // a zero byte, not a zero character
  EXPECT_TRUE(Judge(kRegMultiSz, Bytes("a\0\0\0\0\0", 6), 16, 2));
  EXPECT_FALSE(Judge(kRegMultiSz, Bytes("a\0\0\0", 4), 16, 2));
}

TEST(IsTerminatedStringData, OtherTypesAreNeverText) {
  const std::vector<unsigned char> zeros(4, 0);
  EXPECT_FALSE(Judge(kRegNone, zeros, 16));
  EXPECT_FALSE(Judge(kRegDword, zeros, 16));
  EXPECT_FALSE(Judge(kRegBinary, zeros, 16));
  EXPECT_FALSE(Judge(11, Bytes("1\0\0\0\0\0\0", 8), 16));  // REG_QWORD
  EXPECT_FALSE(Judge(kRegNone, Bytes("", 1), 16));
}

TEST(HasTerminatorWithin, AFullBufferWithoutZeroIsUnreadable) {
  char buffer[4] = {'2', '.', '1', '\0'};
  EXPECT_TRUE(HasTerminatorWithin(buffer, sizeof(buffer)));
  buffer[3] = '5';
  EXPECT_FALSE(HasTerminatorWithin(buffer, sizeof(buffer)));
  buffer[0] = '\0';
  EXPECT_TRUE(HasTerminatorWithin(buffer, sizeof(buffer)));
}
