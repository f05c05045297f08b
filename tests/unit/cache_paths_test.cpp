// The per-user cache tree's names and the embedded resource table they are
// written from; the package and cabinet names are a contract with the package.
#include "cache/cache_paths.h"

#include <gtest/gtest.h>

#include <string>

#include "base/product_constants.h"
#include "payload/payload_resource.h"

namespace {

const char kLocalLow[] = "C:\\Users\\someone\\AppData\\LocalLow";

// Appends every folder level and then the package name, as the builder does.
bool ComposePackagePath(BoundedText& path, const char* userData, bool is64) {
  path.Assign(userData);
  for (int level = 0; level < kCacheFolderLevelCount; ++level) {
    if (!AppendCacheFolderLevel(path, level, kProduct, is64)) return false;
  }
  return AppendPackageFileName(path, kProduct);
}

}  // namespace

TEST(CachePaths, FolderLevelsOneAtATimeThenThePackage) {
  FixedText<kPathCapacity> path;
  path.Assign(kLocalLow);
  ASSERT_TRUE(AppendCacheFolderLevel(path, 0, kProduct, false));
  EXPECT_STREQ("C:\\Users\\someone\\AppData\\LocalLow\\Halvec\\", path.Text());
  ASSERT_TRUE(AppendCacheFolderLevel(path, 1, kProduct, false));
  EXPECT_STREQ("C:\\Users\\someone\\AppData\\LocalLow\\Halvec\\Tavro\\", path.Text());
  ASSERT_TRUE(AppendCacheFolderLevel(path, 2, kProduct, false));
  EXPECT_STREQ("C:\\Users\\someone\\AppData\\LocalLow\\Halvec\\Tavro\\wyk1.7.0", path.Text());
  ASSERT_TRUE(AppendPackageFileName(path, kProduct));
  EXPECT_STREQ("C:\\Users\\someone\\AppData\\LocalLow\\Halvec\\Tavro\\wyk1.7.0\\wyk1.7.0.msi",
               path.Text());
  EXPECT_FALSE(AppendCacheFolderLevel(path, kCacheFolderLevelCount, kProduct, false));
}

TEST(CachePaths, SixtyFourBitSuffixGoesOnTheFolderOnly) {
  FixedText<kPathCapacity> path;
  ASSERT_TRUE(ComposePackagePath(path, "C:\\Documents and Settings\\u\\Application Data", true));
  EXPECT_STREQ(
      "C:\\Documents and Settings\\u\\Application Data\\Halvec\\Tavro\\wyk1.7.0_x64\\wyk1.7.0.msi",
      path.Text());

  FixedText<kPathCapacity> cabinet;
  cabinet.Assign(kLocalLow);
  for (int level = 0; level < kCacheFolderLevelCount; ++level) {
    ASSERT_TRUE(AppendCacheFolderLevel(cabinet, level, kProduct, true));
  }
  ASSERT_TRUE(AppendCabinetFileName(cabinet, "sd170000"));
  EXPECT_STREQ("C:\\Users\\someone\\AppData\\LocalLow\\Halvec\\Tavro\\wyk1.7.0_x64\\sd170000.cab",
               cabinet.Text());
}

TEST(CachePaths, PathOf259CharactersFits260IsRefused) {
  const size_t tail = std::string("\\Halvec\\Tavro\\wyk1.7.0\\wyk1.7.0.msi").size();
  FixedText<kPathCapacity> path;
  std::string folder = "D:\\" + std::string(259 - tail - 3, 'u');
  ASSERT_TRUE(ComposePackagePath(path, folder.c_str(), false));
  EXPECT_EQ(259u, path.Length());

  folder += 'u';
  EXPECT_FALSE(ComposePackagePath(path, folder.c_str(), false));
  // The 64-bit folder is four characters longer.
  folder.resize(folder.size() - 4);
  EXPECT_FALSE(ComposePackagePath(path, folder.c_str(), true));
  folder.resize(folder.size() - 1);
  EXPECT_TRUE(ComposePackagePath(path, folder.c_str(), true));
  EXPECT_EQ(259u, path.Length());
}

TEST(CachePaths, CabinetNameThatDoesNotFitIsRefused) {
  FixedText<kPathCapacity> path;
  std::string folder(259 - 13, 'c');  // "\sd170000.cab" is 13 characters
  path.Assign(folder.c_str());
  EXPECT_TRUE(AppendCabinetFileName(path, "sd170000"));
  EXPECT_EQ(259u, path.Length());
  path.Assign((folder + "c").c_str());
  EXPECT_FALSE(AppendCabinetFileName(path, "sd170000"));
}

TEST(CachePaths, CabinetBaseNamesAreEightCharacters) {
  FixedText<16> name;
  const char* prefixes[] = {"sd", "ss", "st", "sj", "sz"};
  const char* expected[] = {"sd170000", "ss170000", "st170000", "sj170000", "sz170000"};
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(ComposeCabinetBaseName(name, prefixes[i], kProduct));
    EXPECT_STREQ(expected[i], name.Text());
  }
  FixedText<8> tooSmall;
  EXPECT_FALSE(ComposeCabinetBaseName(tooSmall, "sd", kProduct));
}

TEST(CachePaths, UpdateServiceFolderEndsWithABackslash) {
  FixedText<kPathCapacity> folder;
  ASSERT_TRUE(ComposeUpdateServiceFolder(folder, kLocalLow));
  EXPECT_STREQ("C:\\Users\\someone\\AppData\\LocalLow\\Halvec\\Tavro\\AU\\", folder.Text());
  std::string tooLong(260 - 17, 'x');  // "\Halvec\Tavro\AU\" is 17 characters
  EXPECT_FALSE(ComposeUpdateServiceFolder(folder, tooLong.c_str()));
  tooLong.pop_back();
  EXPECT_TRUE(ComposeUpdateServiceFolder(folder, tooLong.c_str()));
}

TEST(ProductConstants, SixtyFourBitOnlyForTheAmd64Architecture) {
  EXPECT_FALSE(IsArchitecture64(kProduct));  // this build is i586
  ProductConstants product = kProduct;
  product.architecture = "AMD64";
  EXPECT_TRUE(IsArchitecture64(product));
  product.architecture = "amd64x";
  EXPECT_FALSE(IsArchitecture64(product));
}

TEST(PayloadResources, CabinetNumberGivesTypeAndIdAndThereIsNoCabinetEight) {
  // Every row is found in the user's language whatever it is, since 1033 is the only one.
  int cabinets = 0;
  for (size_t i = 0; i < kPayloadResourceCount; ++i) {
    const PayloadResource& row = kPayloadResources[i];
    EXPECT_EQ(1033, row.language);
    EXPECT_EQ(&row, FindPayloadResource(row.id));
    if (row.writer != kWrittenByCabinetThread) continue;
    ++cabinets;
    EXPECT_EQ("TAVRO_CAB" + std::to_string(row.id - 101), row.typeName);
  }
  EXPECT_EQ(5, cabinets);
  EXPECT_EQ(nullptr, FindPayloadResource(109));
  EXPECT_EQ(nullptr, FindPayloadResource(0));
  EXPECT_STREQ(kProduct.packageResourceType, FindPayloadResource(kProduct.mainPackageResourceId)->typeName);
}

TEST(PayloadResources, CabinetFileNamesFollowTheProductsCabinetDigits) {
  // The table names each cabinet's cache file; the product's digits must give the same name.
  for (size_t i = 0; i < kPayloadResourceCount; ++i) {
    const PayloadResource& row = kPayloadResources[i];
    if (row.writer != kWrittenByCabinetThread) continue;
    const std::string prefix(row.targetFileName, 2);
    FixedText<16> baseName;
    ASSERT_TRUE(ComposeCabinetBaseName(baseName, prefix.c_str(), kProduct));
    FixedText<kPathCapacity> path;
    ASSERT_TRUE(AppendCabinetFileName(path, baseName.Text()));
    EXPECT_EQ(std::string("\\") + row.targetFileName, path.Text());
  }
}
