// The bounded text is the only way the program copies, appends and formats
// text, so its refusals are what keeps every fixed buffer intact.
#include "base/bounded_text.h"

#include <gtest/gtest.h>
#include <limits.h>

#include <string>

TEST(BoundedText, LastCharacterBeforeTheZeroFitsOneMoreIsRefusedWhole) {
  FixedText<8> text;
  EXPECT_TRUE(text.Assign("abc"));
  EXPECT_TRUE(text.Append("defg"));  // 7 characters: the whole room
  EXPECT_STREQ("abcdefg", text.Text());
  EXPECT_TRUE(text.Fits());

  EXPECT_FALSE(text.AppendChar('h'));
  EXPECT_FALSE(text.Append("h"));
  EXPECT_STREQ("abcdefg", text.Text());
  EXPECT_EQ(7u, text.Length());
  EXPECT_FALSE(text.Fits());
}

TEST(BoundedText, RefusedPieceLeavesNoPartOfItselfAndTheRefusalStaysUntilCleared) {
  FixedText<8> text;
  text.Assign("ab");
  EXPECT_FALSE(text.Append("cdefghij"));
  EXPECT_STREQ("ab", text.Text());
  // A later piece that fits is taken, but the earlier refusal is not forgotten.
  EXPECT_TRUE(text.Append("c"));
  EXPECT_STREQ("abc", text.Text());
  EXPECT_FALSE(text.Fits());
  text.Clear();
  EXPECT_TRUE(text.Fits());
  EXPECT_STREQ("", text.Text());
}

TEST(BoundedText, AssignOfTooLongTextLeavesAnEmptyTextNotACutOne) {
  FixedText<4> text;
  text.Assign("xy");
  EXPECT_FALSE(text.Assign("abcd"));
  EXPECT_STREQ("", text.Text());
  EXPECT_EQ(0u, text.Length());
}

TEST(BoundedText, UnterminatedSourceIsReadNoFurtherThanTheRoomLeft) {
  // Exactly room + 1 readable bytes and no zero among them: the sanitizer
  // catches any read beyond.
  FixedText<6> text;
  text.Assign("ab");
  char source[4] = {'w', 'x', 'y', 'z'};
  EXPECT_FALSE(text.Append(source));
  EXPECT_STREQ("ab", text.Text());
}

TEST(BoundedText, DecimalsIncludingTheExtremes) {
  FixedText<64> text;
  text.AppendDecimal(0);
  text.AppendChar(' ');
  text.AppendDecimal(-5);
  text.AppendChar(' ');
  text.AppendDecimal(1041);
  text.AppendChar(' ');
  text.AppendDecimal(LONG_MIN);
  text.AppendChar(' ');
  text.AppendDecimal(LONG_MAX);
  std::string expected = "0 -5 1041 " + std::to_string(LONG_MIN) + " " + std::to_string(LONG_MAX);
  EXPECT_EQ(expected, text.Text());
}

TEST(BoundedText, DecimalThatDoesNotFitIsRefusedWhole) {
  FixedText<5> text;
  text.Assign("x");
  EXPECT_FALSE(text.AppendDecimal(-1041));  // needs 5 more characters, room for 3
  EXPECT_STREQ("x", text.Text());
  EXPECT_TRUE(text.AppendDecimal(104));
  EXPECT_STREQ("x104", text.Text());
}

TEST(BoundedText, AdoptWrittenNeedsATerminatingZeroWithinTheCapacity) {
  char buffer[4];
  BoundedText text(buffer, sizeof(buffer));
  buffer[0] = 'a';
  buffer[1] = 'b';
  buffer[2] = 'c';
  buffer[3] = '\0';
  EXPECT_TRUE(text.AdoptWritten());
  EXPECT_EQ(3u, text.Length());
  EXPECT_FALSE(text.Append("d"));

  buffer[3] = 'd';  // full buffer, no zero: unreadable
  EXPECT_FALSE(text.AdoptWritten());
  EXPECT_EQ('\0', buffer[0]);
  EXPECT_EQ(0u, text.Length());
}

TEST(BoundedText, ComparisonsAreByteWiseAndCaseSensitiveUnlessAsked) {
  // "Reinstall" must not trigger the re-run.
  EXPECT_TRUE(TextEquals("reinstall", "reinstall"));
  EXPECT_FALSE(TextEquals("Reinstall", "reinstall"));
  EXPECT_FALSE(TextEquals("reinstall", "reinstall "));
  EXPECT_FALSE(TextEquals("reinstal", "reinstall"));

  EXPECT_TRUE(TextEqualsIgnoreAsciiCase("AMD64", "amd64"));
  EXPECT_FALSE(TextEqualsIgnoreAsciiCase("amd64", "amd6"));

  EXPECT_FALSE(ContainsText("/q", "/qn"));
  EXPECT_FALSE(StartsWith("/v", "/v\""));  // shorter than the prefix
}
