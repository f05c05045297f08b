// The per-user cache tree on disk: its folders are created as paths are made.
#ifndef WYK_CACHE_FOLDER_H
#define WYK_CACHE_FOLDER_H

#include "base/bounded_text.h"

// What making a cache path can come to; the sequence decides the exit code.
enum CachePathResult {
  kCachePathReady,
  kCachePathNoUserFolder,  // the user data folder cannot be found
  kCachePathTooLong,       // the path does not fit the platform's limit
  kCachePathNoExactName,   // the user data folder has no exact name in the ANSI code page
  kCachePathBusy           // another run of the program for the same user goes on
};

// Takes the run lock, creates the user data folder (when missing) and the kit
// cache folder level by level, and leaves the main package's path.
CachePathResult CreateCacheFolderAndPackagePath(BoundedText& path, bool is64);

// The kit cache folder for the cabinets (no trailing backslash), made and held
// as for the package, except that the user data folder itself is not created.
// The cabinet thread asks once: the levels stay held for the run, so every
// cabinet goes to the same, already checked folder.
CachePathResult CreateCabinetFolder(BoundedText& folder, bool is64);

#endif
