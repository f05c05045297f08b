#include "cache/link_rules.h"

#include <gtest/gtest.h>

TEST(LinkRules, NameSurrogateTagsAreLinks) {
  EXPECT_TRUE(IsLinkReparseTag(0xA000000CUL));  // symbolic link
  EXPECT_TRUE(IsLinkReparseTag(0xA0000003UL));  // junction, mount point
  EXPECT_TRUE(IsLinkReparseTag(0x20001234UL));  // any later kind with the bit
}

TEST(LinkRules, DataBearingTagsAreNotLinks) {
  EXPECT_FALSE(IsLinkReparseTag(0x80000013UL));  // deduplication
  EXPECT_FALSE(IsLinkReparseTag(0x80000017UL));  // compressed (WOF)
  EXPECT_FALSE(IsLinkReparseTag(0x9000001AUL));  // cloud placeholder
  EXPECT_FALSE(IsLinkReparseTag(0xC0000004UL));  // storage manager (HSM)
}

TEST(LinkRules, UnknownTagCountsAsLink) { EXPECT_TRUE(IsLinkReparseTag(0)); }

TEST(LinkRules, OnlyMoreThanOneNameIsASecondName) {
  EXPECT_FALSE(HasSecondName(0));  // a share's redirector that does not count
  EXPECT_FALSE(HasSecondName(1));
  EXPECT_TRUE(HasSecondName(2));
}
