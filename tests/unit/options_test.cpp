// The option scan: what is kept, what is passed on byte for byte, and the
// refusal of texts that do not fit instead of cutting them.
#include "bootstrap/options.h"

#include <gtest/gtest.h>
#include <limits.h>

#include <string>

#include "argv.h"

namespace {

struct Scan {
  BootstrapOptions options;
  LanguageId language;
  bool fits;

  Scan(std::initializer_list<std::string> args, LanguageId start = kLanguageEnglish)
      : language(start) {
    Argv a(args);
    fits = ParseOptions(a.argc(), a.argv(), options, language);
  }
  std::string Passed() const { return options.packageArguments.Text(); }
};

}  // namespace

TEST(ParseOptions, NoArgumentsLeaveEverythingAtItsStart) {
  Scan s({}, kLanguageJapanese);
  EXPECT_TRUE(s.fits);
  EXPECT_FALSE(s.options.silent);
  EXPECT_FALSE(s.options.addLocalGiven);
  EXPECT_EQ("", s.Passed());
  EXPECT_STREQ("", s.options.publicRuntimeFolder.Text());
  EXPECT_EQ(kLanguageJapanese, s.language);
}

TEST(ParseOptions, PassedOnArgumentsKeepTheirOrderEachFollowedByABlank) {
  Scan s({"INSTALLDIR=D:\\My Kit", "/S", "/sx", "/LANG=1041", "ADDLOCAL=ToolsFeature", "REBOOT=\"R\""});
  EXPECT_TRUE(s.fits);
  // Not re-quoted; every test is case-sensitive, so "/S" and "/LANG=" are not options.
  EXPECT_EQ("INSTALLDIR=D:\\My Kit /S /sx /LANG=1041 ADDLOCAL=ToolsFeature REBOOT=\"R\" ", s.Passed());
  EXPECT_EQ(kLanguageEnglish, s.language);
  EXPECT_FALSE(s.options.silent);
  EXPECT_TRUE(s.options.addLocalGiven);
}

TEST(ParseOptions, SilentOptionIsOnlyTheExactText) {
  Scan s({"/s"});
  EXPECT_TRUE(s.options.silent);
  EXPECT_EQ("", s.Passed());
}

TEST(ParseOptions, VFormsAreFramedByBlanks) {
  EXPECT_EQ(" FOO=1 ", Scan({"/vFOO=1"}).Passed());
  // The user escaped both quotes: the literal quotes do not reach the engine.
  EXPECT_EQ(" FOO=1 ", Scan({"/v\"FOO=1\""}).Passed());
  // Only the last character goes, whatever it is.
  EXPECT_EQ(" FOO= ", Scan({"/v\"FOO=1"}).Passed());
  EXPECT_EQ("  ", Scan({"/v\"X"}).Passed());
  // Just the opening quote: an empty text, nothing read before it.
  EXPECT_EQ("  ", Scan({"/v\""}).Passed());
  EXPECT_EQ("  ", Scan({"/v"}).Passed());
  EXPECT_EQ("A=1  B=2 C=3 ", Scan({"A=1", "/vB=2", "C=3"}).Passed());
}

TEST(ParseOptions, AddLocalInsideAVListDoesNotCountAsGiven) {
  Scan s({"/s", "/vINSTALLDIR=D:\\x ADDLOCAL=ToolsFeature"});
  EXPECT_FALSE(s.options.addLocalGiven);
  ASSERT_TRUE(ApplySilentDefaults(s.options));
  EXPECT_EQ(" INSTALLDIR=D:\\x ADDLOCAL=ToolsFeature  /qn ADDLOCAL=PublicqorFeature,ToolsFeature",
            s.Passed());
}

TEST(ParseOptions, LangOptionChoosesOnlyAcceptedLanguagesAndIsNeverPassedOn) {
  EXPECT_EQ(kLanguageJapanese, Scan({"/lang=1041"}).language);
  EXPECT_EQ(kLanguageChinesePrc, Scan({"/lang=2052"}).language);
  EXPECT_EQ(kLanguageEnglish, Scan({"/lang=1036"}).language);
  EXPECT_EQ(kLanguageEnglish, Scan({"/lang=1028"}).language);
  EXPECT_EQ(kLanguageJapanese, Scan({"/lang=1036"}, kLanguageJapanese).language);
  EXPECT_EQ(kLanguageEnglish, Scan({"/lang=1033"}, kLanguageChinesePrc).language);
  // The last accepted one wins; a refused one later does not undo it.
  EXPECT_EQ(kLanguageJapanese, Scan({"/lang=2052", "/lang=1041", "/lang=7"}).language);

  // The language rule comes before every other one, "/v" included.
  Scan inside({"A=1", "PROP=/lang=1041", "/v/lang=2052"});
  EXPECT_EQ("A=1 ", inside.Passed());
  EXPECT_EQ(kLanguageChinesePrc, inside.language);
}

TEST(ParseOptions, LangValueIsReadAfterTheFirstEqualsSign) {
  // "PROP=" comes first, so the value is "/lang=1041", which converts to 0.
  EXPECT_EQ(kLanguageChinesePrc, Scan({"PROP=/lang=1041"}, kLanguageChinesePrc).language);
  EXPECT_EQ(kLanguageJapanese, Scan({"X=1041/lang=5"}).language);
}

TEST(ParseOptions, LangValueFollowsAtoiAndIsReducedTo16Bits) {
  EXPECT_EQ(kLanguageEnglish, Scan({"/lang=66569"}, kLanguageChinesePrc).language);  // 65536 + 1033
  EXPECT_EQ(kLanguageJapanese, Scan({"/lang=  +1041xyz"}).language);
  EXPECT_EQ(kLanguageEnglish, Scan({"/lang=-64503"}, kLanguageJapanese).language);  // -64503 mod 65536
  // Saturated, not wrapped: 2^32 + 1033 becomes INT_MAX, whose low 16 bits are 65535.
  EXPECT_EQ(kLanguageJapanese, Scan({"/lang=4294968329"}, kLanguageJapanese).language);
  EXPECT_EQ(kLanguageJapanese, Scan({"/lang=-4294966263"}, kLanguageJapanese).language);
  EXPECT_EQ(kLanguageJapanese,
            Scan({"/lang=99999999999999999999999999999999999999"}, kLanguageJapanese).language);
}

TEST(SaturatingAtoi, BehavesLikeAtoiWithoutOverflow) {
  EXPECT_EQ(0, SaturatingAtoi(""));
  EXPECT_EQ(0, SaturatingAtoi("abc"));
  EXPECT_EQ(0, SaturatingAtoi("- 5"));
  EXPECT_EQ(-12, SaturatingAtoi(" \t\n-12x"));
  EXPECT_EQ(3, SaturatingAtoi("\r\v\f3"));
  EXPECT_EQ(5, SaturatingAtoi("+5"));
  EXPECT_EQ(7, SaturatingAtoi("007"));
  EXPECT_EQ(INT_MAX, SaturatingAtoi("2147483647"));
  EXPECT_EQ(INT_MAX, SaturatingAtoi("2147483648"));
  EXPECT_EQ(INT_MIN, SaturatingAtoi("-2147483648"));
  EXPECT_EQ(INT_MIN, SaturatingAtoi("-2147483649"));
  EXPECT_EQ(INT_MAX, SaturatingAtoi(std::string(500, '9').c_str()));
  EXPECT_EQ(INT_MIN, SaturatingAtoi(("-" + std::string(500, '9')).c_str()));
}

TEST(ParseOptions, PublicRuntimeFolderTakesTheTextAfterTheFirstEqualsSign) {
  Scan s({"/INSTALLDIRPUBQOR=D:\\pub"});
  EXPECT_STREQ("D:\\pub", s.options.publicRuntimeFolder.Text());
  EXPECT_EQ("", s.Passed());

  Scan twice({"/INSTALLDIRPUBQOR=D:\\one", "/INSTALLDIRPUBQOR=E:\\two words"});
  EXPECT_STREQ("E:\\two words", twice.options.publicRuntimeFolder.Text());

  Scan embedded({"X=1/INSTALLDIRPUBQOR=D:\\pub"});
  EXPECT_STREQ("1/INSTALLDIRPUBQOR=D:\\pub", embedded.options.publicRuntimeFolder.Text());
}

TEST(ApplySilentDefaults, WorkedExampleGivesTwoBlanksBeforeQn) {
  Scan s({"/s", "INSTALLDIR=D:\\kit"});
  ASSERT_TRUE(ApplySilentDefaults(s.options));
  EXPECT_EQ("INSTALLDIR=D:\\kit  /qn ADDLOCAL=PublicqorFeature,ToolsFeature", s.Passed());
}

TEST(ApplySilentDefaults, GivenFeatureListOrQnAnywhereIsNotRepeated) {
  Scan given({"ADDLOCAL=ToolsFeature", "/s"});
  ASSERT_TRUE(ApplySilentDefaults(given.options));
  EXPECT_EQ("ADDLOCAL=ToolsFeature  /qn", given.Passed());

  Scan qn({"/s", "PROP=a/qnb"});
  ASSERT_TRUE(ApplySilentDefaults(qn.options));
  EXPECT_EQ("PROP=a/qnb  ADDLOCAL=PublicqorFeature,ToolsFeature", qn.Passed());

  Scan upper({"/s", "/QN"});
  ASSERT_TRUE(ApplySilentDefaults(upper.options));
  EXPECT_EQ("/QN  /qn ADDLOCAL=PublicqorFeature,ToolsFeature", upper.Passed());
}

TEST(ApplySilentDefaults, NothingWithoutTheSilentOption) {
  Scan s({"A=1"});
  ASSERT_TRUE(ApplySilentDefaults(s.options));
  EXPECT_EQ("A=1 ", s.Passed());
}

// The passed-on text and the public runtime folder have room for 1023 characters.
TEST(ParseOptions, PassedOnTextOf1023CharactersFits1024IsRefused) {
  Scan fits({std::string(1022, 'a')});  // plus its blank: 1023
  EXPECT_TRUE(fits.fits);
  EXPECT_EQ(1023u, fits.options.packageArguments.Length());

  EXPECT_FALSE(Scan({std::string(1023, 'a')}).fits);
  EXPECT_FALSE(Scan({std::string(600, 'a'), std::string(500, 'b')}).fits);

  EXPECT_TRUE(Scan({"/v" + std::string(1021, 'v')}).fits);  // " v... ": 1023
  EXPECT_FALSE(Scan({"/v" + std::string(1022, 'v')}).fits);
  EXPECT_TRUE(Scan({"/v\"" + std::string(1021, 'v') + "\""}).fits);
  EXPECT_FALSE(Scan({"/v\"" + std::string(1022, 'v') + "\""}).fits);
}

TEST(ParseOptions, PublicRuntimeFolderOf1023CharactersFits1024IsRefusedNotCut) {
  const std::string option = "/INSTALLDIRPUBQOR=";
  Scan fits({option + std::string(1023, 'p')});
  EXPECT_TRUE(fits.fits);
  EXPECT_EQ(1023u, fits.options.publicRuntimeFolder.Length());

  Scan refused({option + "D:\\short", option + std::string(1024, 'p')});
  EXPECT_FALSE(refused.fits);
  EXPECT_STREQ("", refused.options.publicRuntimeFolder.Text());

  // A refused folder is not healed by a later one that fits: the run is still refused.
  Scan later({option + std::string(1024, 'p'), option + "D:\\pub"});
  EXPECT_FALSE(later.fits);
}

TEST(ApplySilentDefaults, RefusesWhenTheDefaultsDoNotFit) {
  // 1019 characters of passed-on text leave room for " /qn" and no more.
  std::string arg = "ADDLOCAL=" + std::string(1018 - 9, 'f');
  Scan fits({"/s", arg});
  ASSERT_TRUE(fits.fits);
  ASSERT_EQ(1019u, fits.options.packageArguments.Length());
  EXPECT_TRUE(ApplySilentDefaults(fits.options));
  EXPECT_EQ(1023u, fits.options.packageArguments.Length());

  Scan refused({"/s", arg + "f"});
  ASSERT_TRUE(refused.fits);
  EXPECT_FALSE(ApplySilentDefaults(refused.options));

  Scan noList({"/s", std::string(1000, 'x')});
  ASSERT_TRUE(noList.fits);
  EXPECT_FALSE(ApplySilentDefaults(noList.options));
}
