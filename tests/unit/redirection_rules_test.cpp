#include "platform/redirection_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kSystem[] = "C:\\Windows\\system32";
const char kWow64[] = "C:\\Windows\\SysWOW64";
const char kProfile[] = "\\config\\systemprofile\\AppData\\LocalLow";

// The shared form of path, or "<refused>".
std::string SharedForm(const std::string& path, bool underWow64 = true, size_t capacity = 260) {
  char buffer[1024];
  BoundedText out(buffer, capacity);
  if (!ComposeSharedPathForm(out, path.c_str(), kSystem, kWow64, underWow64)) {
    EXPECT_TRUE(out.IsEmpty());
    return "<refused>";
  }
  return out.Text();
}

}  // namespace

TEST(RedirectionRules, BelowTheSystemFolderTakesTheWow64Folder) {
  EXPECT_EQ(SharedForm(std::string(kSystem) + kProfile), std::string(kWow64) + kProfile);
  EXPECT_EQ(SharedForm(kSystem), kWow64);
  // The platform compares names without regard to case: so does the rule,
  // and what follows the system folder keeps its own spelling.
  EXPECT_EQ(SharedForm(std::string("c:\\WINDOWS\\System32") + kProfile),
            std::string(kWow64) + kProfile);
  EXPECT_EQ(SharedForm("C:\\WINDOWS\\SYSTEM32\\Config\\x"), std::string(kWow64) + "\\Config\\x");
}

TEST(RedirectionRules, OtherPathsStayAsTheyAre) {
  const char* const paths[] = {
      "C:\\Users\\someone\\AppData\\LocalLow",
      "C:\\Windows\\System32x\\config",   // a look-alike, not below
      "C:\\Windows\\System3",             // shorter than the system folder
      "D:\\Windows\\system32\\config",    // another drive
      "C:\\Windows\\SysWOW64\\config\\systemprofile",
      "\\\\server\\C$\\Windows\\system32\\config",
  };
  for (size_t i = 0; i < sizeof(paths) / sizeof(paths[0]); ++i) {
    EXPECT_EQ(SharedForm(paths[i]), paths[i]);
  }
}

TEST(RedirectionRules, FoldersExemptFromRedirectionKeepTheirNames) {
  const char* const rests[] = {"\\catroot", "\\CatRoot2\\x", "\\drivers\\etc\\hosts",
                               "\\DriverStore\\FileRepository", "\\LogFiles", "\\spool\\x"};
  for (size_t i = 0; i < sizeof(rests) / sizeof(rests[0]); ++i) {
    std::string path = std::string(kSystem) + rests[i];
    EXPECT_EQ(SharedForm(path), path);
  }
  // Only whole names are exempt, and "drivers" only for its "etc".
  EXPECT_EQ(SharedForm(std::string(kSystem) + "\\drivers\\x"), std::string(kWow64) + "\\drivers\\x");
  EXPECT_EQ(SharedForm(std::string(kSystem) + "\\spooler"), std::string(kWow64) + "\\spooler");
  EXPECT_EQ(SharedForm(std::string(kSystem) + "\\catroot3"), std::string(kWow64) + "\\catroot3");
}

TEST(RedirectionRules, WithoutWow64NothingChanges) {
  std::string path = std::string(kSystem) + kProfile;
  EXPECT_EQ(SharedForm(path, false), path);
}

TEST(RedirectionRules, ResultThatDoesNotFitIsRefusedNotCut) {
  // "SysWOW64" is as long as "system32"; a longer WoW64 folder makes the result grow.
  std::string path = std::string(kSystem) + kProfile;
  EXPECT_EQ(SharedForm(path, true, path.size() + 1), std::string(kWow64) + kProfile);
  EXPECT_EQ(SharedForm(path, true, path.size()), "<refused>");
  char buffer[64];
  BoundedText out(buffer, sizeof(buffer));
  std::string longWow64 = "C:\\A-much-longer-folder-name\\SysWOW64";
  EXPECT_FALSE(ComposeSharedPathForm(out, "C:\\Windows\\system32\\config\\systemprofile\\AppData",
                                     kSystem, longWow64.c_str(), true));
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_TRUE(ComposeSharedPathForm(out, "C:\\Windows\\system32\\config", kSystem,
                                    longWow64.c_str(), true));
  EXPECT_EQ(std::string(out.Text()), longWow64 + "\\config");
}
