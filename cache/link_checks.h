// The cache tree lies in a folder that low-integrity processes may write, and
// this program writes there elevated. So it never follows a link it did not
// make: a link planted at a folder level or at a staged file's name ends the
// run (681) before anything is written through it. Only name-surrogate
// reparse points are links (see cache/link_rules.h).
#ifndef WYK_CACHE_LINK_CHECKS_H
#define WYK_CACHE_LINK_CHECKS_H

#include <windows.h>

// Ends the run through the fatal report with 681, naming operation.
void RefuseLink(const char* operation);

// Whether the name at path, not followed, is a link; attributes are the
// name's own (GetFileAttributesA).
bool NameIsLink(const char* path, DWORD attributes);

// Whether the open handle, opened at path, is a link; attributes are its
// identity query's. Where the handle cannot tell its tag (XP), the directory
// entry at path gives it.
bool HandleIsLink(HANDLE handle, DWORD attributes, const char* path);

#endif
