// What the bootstrapper knows about the installer engine without asking the platform.
#ifndef WYK_PLATFORM_ENGINE_RULES_H
#define WYK_PLATFORM_ENGINE_RULES_H

#include "base/bounded_text.h"

// The engine library's file version words: high = major<<16 | minor,
// low = build<<16 | revision. Accepted from 2.0.2600.0 on.
bool IsEngineVersionAccepted(unsigned long versionHigh, unsigned long versionLow);

// Appends "\msiexec.exe" to the engine folder; the folder is used unchanged.
bool AppendMsiexecFileName(BoundedText& folder);

#endif
