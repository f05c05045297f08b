// Whether an open file or folder is where the program meant it to be: its
// final path, as the platform resolves it, against its folder's plus its name.
#ifndef WYK_CACHE_PATH_IDENTITY_H
#define WYK_CACHE_PATH_IDENTITY_H

#include <windows.h>

// False when the platform names another place for handle than
// <final path of its folder>\<name>, compared without regard to letter case
// (a stale file may differ from its name in case only). The folder's final
// path is taken from folder, a handle held since the folder was checked, or,
// with none (a folder above the cache tree, the user's own), from folderPath
// opened now. A platform that cannot tell (XP) leaves the decision to the link checks.
bool IsAtIntendedPath(HANDLE handle, HANDLE folder, const char* folderPath, const char* name);

#endif
