#include "platform/redirection_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kSystem = "C:\\Windows\\system32";
const std::string kWow64 = "C:\\Windows\\SysWOW64";

// The shared form of path, or "<refused>" (and then nothing is left in out).
std::string SharedForm(const std::string& path, bool underWow64 = true, size_t capacity = 260,
                       const std::string& wow64 = kWow64) {
  char buffer[260];
  BoundedText out(buffer, capacity);
  if (ComposeSharedPathForm(out, path.c_str(), kSystem.c_str(), wow64.c_str(), underWow64)) {
    return out.Text();
  }
  return out.IsEmpty() ? "<refused>" : "<refused, but left text>";
}

}  // namespace

TEST(RedirectionRules, BelowTheSystemFolderInAnyLetterCaseTakesTheWow64Folder) {
  const char* const rests[] = {"\\config\\systemprofile\\AppData\\LocalLow", "",
                               "\\drivers\\x", "\\spooler", "\\catroot3"};  // not exempt
  for (size_t i = 0; i < sizeof(rests) / sizeof(rests[0]); ++i) {
    EXPECT_EQ(SharedForm(kSystem + rests[i]), kWow64 + rests[i]);
  }
  EXPECT_EQ(SharedForm("c:\\WINDOWS\\System32\\Config"), kWow64 + "\\Config");
}

TEST(RedirectionRules, OtherPathsExemptFoldersAndRunsWithoutWow64StayAsTheyAre) {
  const std::string same[] = {
      "C:\\Users\\someone\\AppData\\LocalLow", "C:\\Windows\\System32x\\config",
      "C:\\Windows\\System3", "D:\\Windows\\system32\\config", "C:\\Windows\\SysWOW64\\config",
      kSystem + "\\catroot", kSystem + "\\CatRoot2\\x", kSystem + "\\drivers\\etc\\hosts",
      kSystem + "\\DriverStore\\FileRepository", kSystem + "\\LogFiles", kSystem + "\\spool\\x"};
  for (size_t i = 0; i < sizeof(same) / sizeof(same[0]); ++i) {
    EXPECT_EQ(SharedForm(same[i]), same[i]);
  }
  EXPECT_EQ(SharedForm(kSystem + "\\config", false), kSystem + "\\config");
}

TEST(RedirectionRules, ResultThatDoesNotFitIsRefusedNotCut) {
  std::string path = kSystem + "\\config\\systemprofile";
  EXPECT_EQ(SharedForm(path, true, path.size() + 1), kWow64 + "\\config\\systemprofile");
  std::string longer = "C:\\Windows\\SysWOW64-longer";
  EXPECT_EQ(SharedForm(path, true, path.size() + 1, longer), "<refused>");
}
