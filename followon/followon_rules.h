// Command lines and decisions of the follow-on installs.
#ifndef WYK_FOLLOWON_FOLLOWON_RULES_H
#define WYK_FOLLOWON_FOLLOWON_RULES_H

#include <stddef.h>

#include "base/bounded_text.h"
#include "base/language.h"

// "<home>\qor.msi"
bool ComposeRuntimePackagePath(BoundedText& out, const char* kitHome);

// "<home>\<file name>", used for the transforms that are deleted afterwards.
bool ComposeKitHomeFilePath(BoundedText& out, const char* kitHome, const char* fileName);

// "<engine>" /i "<package>" [TRANSFORMS="<home>\qor<lang>.MST" ]/qn ADDLOCAL=ALL SDKSILENT=1
// [ INSTALLDIR=<folder>]. A folder with a blank and no quote is quoted, so the
// blank cannot split it; one that holds a quote is the caller's own quoting
// and is kept; any other is passed as it is, as callers have always had it.
bool ComposeRuntimeCommandLine(BoundedText& out, const char* enginePath, const char* packagePath,
                               const char* kitHome, LanguageId language,
                               const char* publicRuntimeFolder);

// "<engine>" /i "<package>" ALLUSERS=1 /qn
bool ComposeUpdateServiceInstallLine(BoundedText& out, const char* enginePath,
                                     const char* packagePath);

// "<common files>\Tavro\Tavro Update\tvaureg.exe" -r qor <build>, the path quoted
// so that no program at a shorter prefix of it can be started instead.
bool ComposeRegistrationCommandLine(BoundedText& out, const char* commonFilesFolder,
                                    const char* buildString);

// The removal arguments for the older update service; the line begins with a blank.
extern const char kOldUpdateServiceRemovalArguments[];

// A text order: below zero when a comes before b, zero when equal.
typedef int (*TextOrder)(const char* a, const char* b);

// True when a recorded update-service version (read raw into a buffer of
// capacity bytes) comes before "2.1.5.1" in the given order: compared as text,
// so 2.1.10.0 counts as older. The program passes the platform's collation. A
// buffer without a terminating zero is unreadable and never asks for removal.
bool IsOlderUpdateServiceVersion(const char* recorded, size_t capacity, TextOrder order);

#endif
