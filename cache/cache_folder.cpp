#include "cache/cache_folder.h"

#include <windows.h>

#include "base/product_constants.h"
#include "cache/cache_paths.h"
#include "cache/cache_levels.h"
#include "cache/run_lock.h"
#include "platform/system_info.h"

namespace {

// Appends the three folder levels, creating each one as it is reached.
CachePathResult CreateCacheFolder(BoundedText& path, bool is64, bool createUserFolder) {
  UserFolderResult found = FindUserDataFolder(path);
  if (found == kUserFolderTooLong) return kCachePathTooLong;
  if (found == kUserFolderNoExactName) return kCachePathNoExactName;
  if (found != kUserFolderFound) return kCachePathNoUserFolder;
  if (createUserFolder) CreateDirectoryA(path.Text(), NULL);
  for (int level = 0; level < kCacheFolderLevelCount; ++level) {
    if (!AppendCacheFolderLevel(path, level, kProduct, is64)) return kCachePathTooLong;
    // One that cannot be held shows up when the files in it are made.
    CreateRealFolder(path.Text());
  }
  return kCachePathReady;
}

}  // namespace

CachePathResult CreateCacheFolderAndPackagePath(BoundedText& path, bool is64) {
  // Decided before anything is written, and before the folders: they are
  // no lock (cache/run_lock.h).
  if (!TakeRunLock()) return kCachePathBusy;
  CachePathResult result = CreateCacheFolder(path, is64, true);
  if (result != kCachePathReady) return result;
  return AppendPackageFileName(path, kProduct) ? kCachePathReady : kCachePathTooLong;
}

CachePathResult CreateCabinetFolder(BoundedText& folder, bool is64) {
  return CreateCacheFolder(folder, is64, false);
}
