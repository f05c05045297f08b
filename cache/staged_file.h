// Opening a staged file for writing so that nothing but the intended file is
// ever cut or written: the name is opened without truncation and without
// following a link, the handle is checked (not a link, no second name, at
// its folder's held final path plus its name), and only then are its
// attributes made normal and its content cut.
#ifndef WYK_CACHE_STAGED_FILE_H
#define WYK_CACHE_STAGED_FILE_H

#include <windows.h>

struct StagedFile {
  HANDLE file;  // open for writing, empty, no sharing but with name
  HANDLE name;  // for a file that existed: holds its name (no delete sharing)
                // while file is written; null for a file made anew
  BY_HANDLE_FILE_INFORMATION identity;  // file's, as checked: the hold is compared
                                        // with it (the handle is never shared, so
                                        // the file it names cannot change under it)
};

// Ends the run through the fatal report on any failure: 681 for a link at
// the name (one to nowhere included), 1006 when the opened file is not the
// intended one, the platform's error otherwise. A stale file with a second
// name loses this name only; one marked read-only, hidden or system is
// given normal attributes.
StagedFile OpenStagedFile(const char* path);

// Closes what OpenStagedFile left open besides the file itself.
void ReleaseStagedFileName(StagedFile& staged);

// The operation a failed identity query of a staged file is reported as.
extern const char kIdentityQueryOperation[];

// Test seam: called with the path of an existing staged file between its
// checks and its opening for writing. Null in the program.
typedef void (*StagedNameCheckedHook)(const char* path);
extern StagedNameCheckedHook stagedNameCheckedHook;

#endif
