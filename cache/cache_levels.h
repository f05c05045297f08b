// The folder levels of the cache tree (Halvec, Tavro, the kit folder, AU):
// each is made a real folder, checked once per run, and then held open until
// the process ends, so it cannot be renamed, removed or swapped for a link
// while the run writes below it. Other programs may still list the levels,
// and add and save files in them; runs are told apart elsewhere
// (cache/run_lock.h).
#ifndef WYK_CACHE_LEVELS_H
#define WYK_CACHE_LEVELS_H

#include <stddef.h>
#include <windows.h>

// Creates one folder level (path may end in a backslash), as CreateDirectoryA
// with its result ignored, and holds it; false when it cannot be opened as a
// folder (a file has the name, say): the file creation below it reports why.
// A link found there, a name that reads as nothing yet cannot be made (a link
// to nowhere), or a folder that once opened is not at its intended path ends
// the run through the fatal report (681); a level that another process is
// renaming or removing (it holds it with delete access) ends it with 32. A
// level this run already holds is not looked at again.
bool CreateRealFolder(const char* path);

// CreateRealFolder for each level of folder (which ends in a backslash) below
// the one of its first start characters (folder[start] is the backslash after
// that one), outermost first; stops at the first level not held.
bool CreateRealFolderLevels(const char* folder, size_t start);

// The handle this run holds for folder (no trailing backslash), or null.
HANDLE HeldCacheFolder(const char* folder);

// Whether handle is at path: the final path of path's folder (taken from the
// held handle when this run holds that folder) plus path's last name.
bool IsAtCachePath(HANDLE handle, const char* path);

#endif
