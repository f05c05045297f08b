// Folders that the platform gives as wide text, turned into the program's
// 8-bit text only when that text names the very same folder. A conversion by
// best fit ("Ł" -> "L") or with the default character ("?") would name another
// folder, or none.
#ifndef WYK_BASE_FOLDER_TEXT_H
#define WYK_BASE_FOLDER_TEXT_H

#include <windows.h>

#include "base/bounded_text.h"

enum FolderTextResult {
  kFolderTextReady,
  kFolderTextTooLong,     // the exact text does not fit the buffer
  kFolderTextNoExactForm  // neither the folder's name nor its short form converts exactly
};

// The folder's exact text in the system's ANSI code page, or else the exact text
// of its short form (the folder must exist for that). out is empty unless ready.
FolderTextResult FolderToAnsiText(const wchar_t* folder, BoundedText& out);

#endif
