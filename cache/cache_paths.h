// Composition of the per-user cache tree's paths:
//   <user data>\Halvec\Tavro\wyk1.7.0[_x64]\wyk1.7.0.msi and the cabinets beside it,
//   <user data>\Halvec\Tavro\AU\ for the update service.
// Each function appends to a bounded path and reports whether it fitted.
#ifndef WYK_CACHE_PATHS_H
#define WYK_CACHE_PATHS_H

#include "base/bounded_text.h"
#include "base/product_constants.h"

// The three folder levels below the user data folder, created one at a time.
enum { kCacheFolderLevelCount = 3 };
bool AppendCacheFolderLevel(BoundedText& path, int level, const ProductConstants& product,
                            bool is64);

// "\<kind><version>.msi"; the 64-bit suffix goes on the folder only.
bool AppendPackageFileName(BoundedText& path, const ProductConstants& product);

// "\<base name>.cab"
bool AppendCabinetFileName(BoundedText& path, const char* baseName);

// "\<file name>", a file name as the payload table gives it.
bool AppendCacheFileName(BoundedText& path, const char* fileName);

// Two-letter prefix, the four cabinet version digit strings and a final "0":
// "sd" gives "sd170000".
bool ComposeCabinetBaseName(BoundedText& out, const char* prefix, const ProductConstants& product);

// "<user data>\Halvec\Tavro\AU\" (ends with a backslash).
bool ComposeUpdateServiceFolder(BoundedText& out, const char* userDataFolder);

#endif
