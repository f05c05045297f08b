#include "platform/engine_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool Accepted(unsigned major, unsigned minor, unsigned build, unsigned revision) {
  return IsEngineVersionAccepted((static_cast<unsigned long>(major) << 16) | minor,
                                 (static_cast<unsigned long>(build) << 16) | revision);
}

}  // namespace

TEST(IsEngineVersionAccepted, From2_0_2600_0On) {
  EXPECT_TRUE(Accepted(2, 0, 2600, 0));
  EXPECT_TRUE(Accepted(2, 0, 2600, 1));
  EXPECT_TRUE(Accepted(2, 1, 0, 0));
  EXPECT_TRUE(Accepted(3, 1, 4000, 0));
  EXPECT_TRUE(Accepted(5, 0, 7601, 17514));
  EXPECT_FALSE(Accepted(2, 0, 2599, 65535));
  EXPECT_FALSE(Accepted(1, 1, 9999, 0));
  EXPECT_FALSE(Accepted(1, 65535, 65535, 65535));
  EXPECT_FALSE(Accepted(0, 0, 0, 0));
}

TEST(IsEngineVersionAccepted, WordsAreComparedUnsigned) {
  // A build number of 32768 or more sets the low word's top bit.
  EXPECT_TRUE(Accepted(2, 0, 40000, 0));
  EXPECT_TRUE(Accepted(65535, 0, 0, 0));
  EXPECT_TRUE(Accepted(32768, 0, 0, 0));
}

TEST(AppendMsiexecFileName, FolderIsUsedUnchanged) {
  FixedText<260> path;
  path.Assign("C:\\Windows\\system32");
  ASSERT_TRUE(AppendMsiexecFileName(path));
  EXPECT_STREQ("C:\\Windows\\system32\\msiexec.exe", path.Text());

  path.Assign("C:\\Windows\\system32\\");
  ASSERT_TRUE(AppendMsiexecFileName(path));
  EXPECT_STREQ("C:\\Windows\\system32\\\\msiexec.exe", path.Text());
}

TEST(AppendMsiexecFileName, PathOf259CharactersFits260IsRefusedAndTheFolderKept) {
  FixedText<260> path;
  std::string folder(259 - 12, 'f');  // "\msiexec.exe" is 12 characters
  path.Assign(folder.c_str());
  EXPECT_TRUE(AppendMsiexecFileName(path));
  EXPECT_EQ(259u, path.Length());

  folder += 'f';
  path.Assign(folder.c_str());
  EXPECT_FALSE(AppendMsiexecFileName(path));
  EXPECT_EQ(folder, path.Text());
}
