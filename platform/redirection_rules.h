// What WoW64's file redirection means for a path the program hands to a
// 64-bit process: pure decisions, testable without the platform.
#ifndef WYK_PLATFORM_REDIRECTION_RULES_H
#define WYK_PLATFORM_REDIRECTION_RULES_H

#include "base/bounded_text.h"

// Writes into out the form of path that names the same file for a 64-bit
// process as for this one. Under WoW64 the platform quietly sends this
// process's file calls below the system folder to the WoW64 system folder,
// while a 64-bit process (the installer service) takes the path as written:
// such a path is given with the WoW64 system folder in place of the system
// folder, which both kinds of process resolve to the same place. The folders
// the platform exempts from redirection keep their names, and so does every
// path when the process does not run under WoW64 or the path lies elsewhere.
// The system folder is matched without regard to letter case and only on a
// whole folder name. False, with out empty, when the result does not fit.
bool ComposeSharedPathForm(BoundedText& out, const char* path, const char* systemFolder,
                           const char* wow64SystemFolder, bool underWow64);

#endif
