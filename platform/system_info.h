// What the program asks the platform about the system and the user's folders.
#ifndef WYK_PLATFORM_SYSTEM_INFO_H
#define WYK_PLATFORM_SYSTEM_INFO_H

#include "base/bounded_text.h"

// True on an NT-family system of major version 6; asked once per process.
bool IsNt6();

// True when the system reports version 5.2 (the Server 2003 family).
bool IsServer2003Family();

// Why a user folder lookup ended: the cause is kept where it happens, since
// any later platform call may change the last-error value.
enum UserFolderResult {
  kUserFolderFound,
  kUserFolderMissing,  // the platform cannot name it
  kUserFolderTooLong,  // it does not fit the path limit
  kUserFolderNoExactName  // neither its name nor its short form has an exact 8-bit form
};

// The user's LocalAppDataLow folder.
UserFolderResult GetLocalLowFolder(BoundedText& folder);

// LocalAppDataLow on version 6 systems, else the roaming application data
// folder. Under WoW64 a folder below the system folder is given below the
// WoW64 system folder instead, the name that a 64-bit process (the engine)
// resolves to the same place as this one; the form every cache path, and so
// every path handed to the engine, is composed from.
UserFolderResult FindUserDataFolder(BoundedText& folder);

// FindUserDataFolder, true when found.
bool GetUserDataFolder(BoundedText& folder);

// The common program files folder of this program's bitness. False when the
// platform cannot name it, names no absolute folder, or names one with no
// exact 8-bit name (nor a short form with one): a tool there is then skipped
// rather than looked for elsewhere.
bool GetCommonFilesFolder(BoundedText& folder);

#endif
