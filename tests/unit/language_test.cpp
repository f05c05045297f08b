#include "base/language.h"

#include <gtest/gtest.h>

TEST(LanguageForUiLanguage, OnlyChinesePrcAndJapaneseGetATransform) {
  EXPECT_EQ(kLanguageChinesePrc, LanguageForUiLanguage(2052));
  EXPECT_EQ(kLanguageJapanese, LanguageForUiLanguage(1041));
  EXPECT_EQ(kLanguageEnglish, LanguageForUiLanguage(1033));
  EXPECT_EQ(kLanguageEnglish, LanguageForUiLanguage(1031));  // German
  EXPECT_EQ(kLanguageEnglish, LanguageForUiLanguage(1028));  // Chinese (Taiwan)
  EXPECT_EQ(kLanguageEnglish, LanguageForUiLanguage(3076));  // Chinese (Hong Kong)
  EXPECT_EQ(kLanguageEnglish, LanguageForUiLanguage(4100));  // Chinese (Singapore)
  EXPECT_EQ(kLanguageEnglish, LanguageForUiLanguage(0));
}

TEST(LanguageForUiLanguage, AnyIdWhoseLowByteIs0x11IsJapanese) {
  EXPECT_EQ(kLanguageJapanese, LanguageForUiLanguage(0x0811));
  EXPECT_EQ(kLanguageJapanese, LanguageForUiLanguage(0xFC11));
  EXPECT_EQ(kLanguageJapanese, LanguageForUiLanguage(0x0111));
  EXPECT_EQ(kLanguageEnglish, LanguageForUiLanguage(0x1104));  // 0x11 in the high byte only
}

TEST(IsAcceptedLanguage, ExactlyTheThreeKitLanguages) {
  EXPECT_TRUE(IsAcceptedLanguage(1033));
  EXPECT_TRUE(IsAcceptedLanguage(1041));
  EXPECT_TRUE(IsAcceptedLanguage(2052));
  EXPECT_FALSE(IsAcceptedLanguage(0));
  EXPECT_FALSE(IsAcceptedLanguage(1028));
  EXPECT_FALSE(IsAcceptedLanguage(1036));
  EXPECT_FALSE(IsAcceptedLanguage(0x0811));  // Japanese, but not the accepted number
  EXPECT_FALSE(IsAcceptedLanguage(65535));
}
