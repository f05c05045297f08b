// Command lines of the follow-on installs and the update-service version test.
#include "followon/followon_rules.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "base/folder_rules.h"
#include "base/product_constants.h"

namespace {

const char kEngine[] = "C:\\Windows\\system32\\msiexec.exe";
const char kHome[] = "C:\\Program Files\\Tavro\\wyk1.7.0";
const char kPackage[] = "C:\\Program Files\\Tavro\\wyk1.7.0\\qor.msi";

std::string Runtime(LanguageId language, const char* folder, bool* fits = nullptr) {
  FixedText<kLineCapacity> line;
  bool ok = ComposeRuntimeCommandLine(line, kEngine, kPackage, kHome, language, folder);
  if (fits != nullptr) *fits = ok;
  return line.Text();
}

int ByteOrder(const char* a, const char* b) { return strcmp(a, b); }

// A collation that passes over hyphens, as word sorting does.
int HyphensIgnored(const char* a, const char* b) {
  std::string x(a), y(b);
  x.erase(std::remove(x.begin(), x.end(), '-'), x.end());
  y.erase(std::remove(y.begin(), y.end(), '-'), y.end());
  return x.compare(y);
}

bool Older(const char* version, TextOrder order = ByteOrder) {
  char buffer[kLineCapacity];
  memset(buffer, 0, sizeof(buffer));
  strcpy(buffer, version);
  return IsOlderUpdateServiceVersion(buffer, sizeof(buffer), order);
}

}  // namespace

TEST(KitHomePaths, FileNameAfterOneBackslash) {
  FixedText<kLineCapacity> path;
  ASSERT_TRUE(ComposeRuntimePackagePath(path, kHome));
  EXPECT_STREQ(kPackage, path.Text());
  ASSERT_TRUE(ComposeKitHomeFilePath(path, "D:\\kit\\", "qor2052.MST"));
  EXPECT_STREQ("D:\\kit\\\\qor2052.MST", path.Text());
  std::string home(1023 - 8, 'h');  // "\qor.msi" is 8 characters
  EXPECT_TRUE(ComposeRuntimePackagePath(path, home.c_str()));
  home += 'h';
  EXPECT_FALSE(ComposeRuntimePackagePath(path, home.c_str()));
}

TEST(IsAbsoluteFolder, OnlyADriveRootOrAServerNameCounts) {
  for (const char* home : {"C:\\", "d:\\Kit", "Z:\\Program Files\\Tavro", "\\\\server",
                           "\\\\server\\share\\kit", "\\\\?\\C:\\kit"}) {
    EXPECT_TRUE(IsAbsoluteFolder(home)) << home;
  }
  // Each of these resolves against the current drive or folder.
  for (const char* home : {"", "kit", ".\\kit", "..\\kit", "\\", "\\kit", "C:", "C:kit",
                           "C:/kit", "1:\\kit", "\\\\", "\\\\\\server", " C:\\kit", ":\\kit"}) {
    EXPECT_FALSE(IsAbsoluteFolder(home)) << home;
  }
}

TEST(ComposeRuntimeCommandLine, EnglishWithoutFolderEndsAfterSdkSilent) {
  EXPECT_EQ(
      "\"C:\\Windows\\system32\\msiexec.exe\" /i \"C:\\Program Files\\Tavro\\wyk1.7.0\\qor.msi\" "
      "/qn ADDLOCAL=ALL SDKSILENT=1",
      Runtime(kLanguageEnglish, ""));
}

TEST(ComposeRuntimeCommandLine, OtherLanguagesNameTheQuotedTransformFile) {
  EXPECT_EQ(
      "\"C:\\Windows\\system32\\msiexec.exe\" /i \"C:\\Program Files\\Tavro\\wyk1.7.0\\qor.msi\" "
      "TRANSFORMS=\"C:\\Program Files\\Tavro\\wyk1.7.0\\qor2052.MST\" /qn ADDLOCAL=ALL SDKSILENT=1",
      Runtime(kLanguageChinesePrc, ""));
  EXPECT_NE(std::string::npos,
            Runtime(kLanguageJapanese, "").find(" TRANSFORMS=\"C:\\Program Files\\Tavro\\wyk1.7.0\\"
                                               "qor1041.MST\" /qn "));
}

TEST(ComposeRuntimeCommandLine, PublicRuntimeFolderIsQuotedOnlyForABlankWithoutQuotes) {
  const std::string english =
      "\"C:\\Windows\\system32\\msiexec.exe\" /i \"C:\\Program Files\\Tavro\\wyk1.7.0\\qor.msi\" "
      "/qn ADDLOCAL=ALL SDKSILENT=1";
  EXPECT_EQ(english + " INSTALLDIR=\"D:\\Public Runtime\"",
            Runtime(kLanguageEnglish, "D:\\Public Runtime"));
  // The caller's own quoting, as one had to write it before, stays one argument.
  EXPECT_EQ(english + " INSTALLDIR=\"D:\\My Pub\"", Runtime(kLanguageEnglish, "\"D:\\My Pub\""));
  EXPECT_EQ(english + " INSTALLDIR=D:\\a\"b c\"", Runtime(kLanguageEnglish, "D:\\a\"b c\""));
  // Without a blank, the text callers of the plain form have always got.
  EXPECT_EQ(english + " INSTALLDIR=D:\\pub", Runtime(kLanguageEnglish, "D:\\pub"));
}

TEST(ComposeRuntimeCommandLine, ALineOf1023CharactersFits1024IsRefused) {
  const size_t fixed = Runtime(kLanguageEnglish, "").size() + std::string(" INSTALLDIR=\"\"").size();
  bool fits = false;
  std::string line = Runtime(kLanguageEnglish, (std::string(1022 - fixed, 'p') + " ").c_str(), &fits);
  EXPECT_TRUE(fits);
  EXPECT_EQ(1023u, line.size());
  Runtime(kLanguageEnglish, (std::string(1023 - fixed, 'p') + " ").c_str(), &fits);
  EXPECT_FALSE(fits);
  // A folder of the full 1023 characters that the options allow never fits.
  Runtime(kLanguageEnglish, std::string(1023, 'p').c_str(), &fits);
  EXPECT_FALSE(fits);
}

TEST(ComposeUpdateServiceInstallLine, InstallsForAllUsersSilently) {
  FixedText<kLineCapacity> line;
  ASSERT_TRUE(ComposeUpdateServiceInstallLine(
      line, kEngine, "C:\\Users\\u\\AppData\\LocalLow\\Halvec\\Tavro\\AU\\au.msi"));
  EXPECT_STREQ(
      "\"C:\\Windows\\system32\\msiexec.exe\" /i "
      "\"C:\\Users\\u\\AppData\\LocalLow\\Halvec\\Tavro\\AU\\au.msi\" ALLUSERS=1 /qn",
      line.Text());
}

TEST(ComposeRegistrationCommandLine, ToolPathIsQuoted) {
  FixedText<kLineCapacity> line;
  ASSERT_TRUE(ComposeRegistrationCommandLine(line, "D:\\Shared Files", kProduct.buildString));
  EXPECT_STREQ("\"D:\\Shared Files\\Tavro\\Tavro Update\\tvaureg.exe\" -r qor 1.7.0-b147",
               line.Text());

  const size_t fixed = strlen(line.Text()) - strlen("D:\\Shared Files");
  std::string folder(1023 - fixed, 'c');
  EXPECT_TRUE(ComposeRegistrationCommandLine(line, folder.c_str(), kProduct.buildString));
  EXPECT_EQ(1023u, line.Length());
  folder += 'c';
  EXPECT_FALSE(ComposeRegistrationCommandLine(line, folder.c_str(), kProduct.buildString));
}

TEST(IsOlderUpdateServiceVersion, TheGivenOrderDecides) {
  EXPECT_TRUE(Older("2.1.5-1"));
  EXPECT_FALSE(Older("2.1.5-1", HyphensIgnored));  // "2.1.51" comes after "2.1.5.1"
  EXPECT_FALSE(Older("-2.1.5.1", HyphensIgnored));
}

TEST(IsOlderUpdateServiceVersion, ComparesAsTextsNotAsNumbers) {
  EXPECT_TRUE(Older("2.1.5.0"));
  EXPECT_FALSE(Older("2.1.5.1"));
  EXPECT_FALSE(Older("2.1.5.10"));
  EXPECT_FALSE(Older("2.1.6"));
  EXPECT_FALSE(Older("3.0.0.0"));
  EXPECT_TRUE(Older("2.1.10.0"));
  EXPECT_TRUE(Older("10.0.0.0"));
  EXPECT_TRUE(Older("2.1.5"));  // a beginning of the other text comes first
  EXPECT_TRUE(Older(""));
  EXPECT_FALSE(Older("\xE9"));  // bytes above 127 are not negative
}

TEST(IsOlderUpdateServiceVersion, ABufferWithoutTerminatingZeroIsUnreadable) {
  char buffer[kLineCapacity];
  memset(buffer, '1', sizeof(buffer));  // "111..." would otherwise be older
  EXPECT_FALSE(IsOlderUpdateServiceVersion(buffer, sizeof(buffer), ByteOrder));
  buffer[sizeof(buffer) - 1] = '\0';
  EXPECT_TRUE(IsOlderUpdateServiceVersion(buffer, sizeof(buffer), ByteOrder));
}
