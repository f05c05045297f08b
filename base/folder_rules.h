// What makes a folder text usable as a place to start or delete programs in.
#ifndef WYK_BASE_FOLDER_RULES_H
#define WYK_BASE_FOLDER_RULES_H

// True for "<letter>:\..." or "\\<server>...". Anything else (empty, relative,
// drive-relative "C:kit", rooted "\kit") would resolve against the current
// drive or folder, where anyone may have put a file of the expected name.
bool IsAbsoluteFolder(const char* folder);

#endif
