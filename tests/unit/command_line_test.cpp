// The engine's command line for the main package, byte for byte, and the
// refusal of a line that does not fit its 1023 characters.
#include "bootstrap/command_line.h"

#include <gtest/gtest.h>

#include <string>

#include "argv.h"
#include "bootstrap/options.h"
#include "base/product_constants.h"

namespace {

const char kEngine[] = "C:\\Windows\\system32\\msiexec.exe";
const char kPackage[] =
    "C:\\Users\\someone\\AppData\\LocalLow\\Halvec\\Tavro\\wyk1.7.0\\wyk1.7.0.msi";

std::string Compose(LanguageId language, const std::string& arguments, bool* fits = nullptr) {
  FixedText<kLineCapacity> line;
  bool ok = ComposeMainCommandLine(line, kEngine, kPackage, language, arguments.c_str());
  if (fits != nullptr) *fits = ok;
  return line.Text();
}

const std::string kHead = std::string("\"") + kEngine + "\" /i \"" + kPackage + "\" ";

}  // namespace

TEST(ComposeMainCommandLine, EnglishWithoutArgumentsHasTwoBlanksBeforeWrapper) {
  bool fits = false;
  EXPECT_EQ(kHead + " WRAPPER=1", Compose(kLanguageEnglish, "", &fits));
  EXPECT_TRUE(fits);
}

TEST(ComposeMainCommandLine, OtherLanguagesNameTheEmbeddedTransformBeforeTheArguments) {
  EXPECT_EQ(kHead + "TRANSFORMS=:2052  WRAPPER=1", Compose(kLanguageChinesePrc, ""));
  EXPECT_EQ(kHead + "TRANSFORMS=:1041 A=1  B=2  WRAPPER=1", Compose(kLanguageJapanese, "A=1  B=2 "));
}

TEST(ComposeMainCommandLine, SilentWorkedExampleFromArgumentsToLine) {
  Argv a({"/s", "INSTALLDIR=D:\\kit"});
  BootstrapOptions options;
  LanguageId language = kLanguageEnglish;
  ASSERT_TRUE(ParseOptions(a.argc(), a.argv(), options, language));
  ASSERT_TRUE(ApplySilentDefaults(options));
  FixedText<kLineCapacity> line;
  ASSERT_TRUE(ComposeMainCommandLine(line, kEngine, kPackage, language,
                                     options.packageArguments.Text()));
  EXPECT_STREQ(
      "\"C:\\Windows\\system32\\msiexec.exe\" /i "
      "\"C:\\Users\\someone\\AppData\\LocalLow\\Halvec\\Tavro\\wyk1.7.0\\wyk1.7.0.msi\" "
      "INSTALLDIR=D:\\kit  /qn ADDLOCAL=PublicqorFeature,ToolsFeature WRAPPER=1",
      line.Text());
}

TEST(ComposeMainCommandLine, ALineOf1023CharactersFits1024IsRefused) {
  const size_t fixed = kHead.size() + std::string(" WRAPPER=1").size();
  bool fits = false;
  std::string line = Compose(kLanguageEnglish, std::string(1023 - fixed, 'x'), &fits);
  EXPECT_TRUE(fits);
  EXPECT_EQ(1023u, line.size());
  EXPECT_EQ(kHead + std::string(1023 - fixed, 'x') + " WRAPPER=1", line);

  Compose(kLanguageEnglish, std::string(1024 - fixed, 'x'), &fits);
  EXPECT_FALSE(fits);

  // The transform adds "TRANSFORMS=:1041 " (17 characters) to the same budget.
  Compose(kLanguageJapanese, std::string(1023 - fixed - 17, 'x'), &fits);
  EXPECT_TRUE(fits);
  Compose(kLanguageJapanese, std::string(1024 - fixed - 17, 'x'), &fits);
  EXPECT_FALSE(fits);
}

TEST(ComposeMainCommandLine, ComposingAgainStartsFromAnEmptyLine) {
  FixedText<kLineCapacity> line;
  std::string tooLong(1023, 'a');
  EXPECT_FALSE(ComposeMainCommandLine(line, kEngine, kPackage, kLanguageEnglish, tooLong.c_str()));
  EXPECT_TRUE(ComposeMainCommandLine(line, kEngine, kPackage, kLanguageEnglish, "A=1 "));
  EXPECT_EQ(kHead + "A=1  WRAPPER=1", std::string(line.Text()));
}
