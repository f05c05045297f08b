// The per-user cache tree on disk.
#ifndef WYK_PAYLOAD_CACHE_FOLDER_H
#define WYK_PAYLOAD_CACHE_FOLDER_H

#include "bootstrap/bounded_text.h"

// True on an NT-family system of major version 6; asked once per process.
bool IsNt6();

// The user's LocalAppDataLow folder; 1 on success.
int GetLocalLowFolder(BoundedText& folder);

// LocalAppDataLow on version 6 systems, else the roaming application data folder.
bool GetUserDataFolder(BoundedText& folder);

// What building a cache path can come to.
enum CachePathResult {
  kCachePathReady = 0,
  kCachePathNoUserFolder = 3,   // the user data folder cannot be found
  kCachePathTooLong = 206       // the path does not fit the platform's limit
};

// Creates the kit cache folder level by level and leaves the main package's path.
CachePathResult BuildPackagePath(BoundedText& path, bool is64);

// The same for a cabinet; the user data folder itself is not created here.
CachePathResult BuildCabinetPath(BoundedText& path, const char* baseName, bool is64);

#endif
