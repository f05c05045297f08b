// The time stamp and prefix of a diagnostic log entry.
#ifndef WYK_DIAGNOSTICS_LOG_STAMP_H
#define WYK_DIAGNOSTICS_LOG_STAMP_H

#include <time.h>

#include "base/bounded_text.h"

// The 25 characters of the standard asctime form, but with the day always two
// digits: "Tue Dec 08 00:14:17 2026\n". False (and an empty text) when a field
// is out of its range, so a broken time never indexes past a name table.
bool FormatLogStamp(BoundedText& out, const struct tm& local);

// "\n<stamp>:: " for a valid time; the empty text otherwise.
bool FormatLogPrefix(BoundedText& out, const struct tm* local);

#endif
