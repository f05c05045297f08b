// The diagnostic log "tvusched.log" and the fatal error report.
#ifndef WYK_DIAGNOSTICS_DIAGNOSTIC_LOG_H
#define WYK_DIAGNOSTICS_DIAGNOSTIC_LOG_H

// Appends one time-stamped entry to the log in TMPDIR or the temporary folder.
// Never reports a failure: an entry that cannot be written is lost.
void LogDiagnostic(const char* message);

// Shows the platform's text for the calling thread's last error in a box (in
// the log where no box can be seen, see error_box.h) and ends the process with
// that error as its exit code. Call it right after the failing platform call.
void FatalApiError(const char* operation);

// The same report for a failure the program itself detected, with its own code
// (a swapped file, a planted link) instead of a platform call's last error.
void FatalError(unsigned long code, const char* operation);

// Work that must be done before any fatal end, whichever thread fails: run by
// the fatal report after its box, right before the process ends. One at a
// time; null (the default) for none. Set it before a second thread starts.
typedef void (*BeforeFatalEnd)();
void SetBeforeFatalEnd(BeforeFatalEnd hook);

#endif
