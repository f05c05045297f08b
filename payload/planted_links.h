// The cache tree lies in a folder that low-integrity processes may write, and
// this program writes there elevated. So it never follows a link it did not
// make: a link planted at a folder level or at a staged file's name ends the
// run before anything is written (a second name of a file is only unnamed),
// and each staged file, once opened, is checked by handle to be the intended file.
#ifndef WYK_PAYLOAD_PLANTED_LINKS_H
#define WYK_PAYLOAD_PLANTED_LINKS_H

#include <windows.h>

// Creates one folder level of the cache tree, as CreateDirectoryA with its
// result ignored; a link found there, or a name that reads as nothing yet
// cannot be made (a link to nowhere), ends the run through the fatal report (681).
void CreateRealFolder(const char* path);

// CreateRealFolder for each level of folder (which ends in a backslash) below
// the one of its first start characters (folder[start] is the backslash after
// that one), outermost first.
void CreateRealFolderLevels(const char* folder, size_t start);

// Before a staged file is created at path: a link at that name (a reparse
// point, or a name whose final path is elsewhere) ends the run (681); a file
// with more than one name loses this name only, so the creation cannot
// truncate what the other name holds.
void GuardStagedFileName(const char* path);

// Right after a staged file is opened for writing: ends the run with 1006
// unless the handle is a file with a single name whose final path is its
// folder's final path plus its name.
// A failed identity query ends it with that query's own error.
void CheckOpenedStagedFile(HANDLE file, const char* path);

// The operation a failed identity query of a staged file is reported as.
extern const char kIdentityQueryOperation[];

#endif
