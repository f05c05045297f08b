// Every exit code the program can end with. A normal run ends with the
// installer engine's own exit code of its last main-package run (0, 3010,
// 1602, 1603, ...), passed through unchanged. Each value below has one meaning
// and is never reused for another; the engine may of course return the same
// numbers itself (1 above all), which scripts already live with.
#ifndef WYK_BASE_EXIT_CODES_H
#define WYK_BASE_EXIT_CODES_H

enum ExitCode {
  // Decided by the sequence in bootstrap/ before or instead of the engine run.
  kExitNoPackageOrNoStart = 1,      // main package row or resource missing, or the engine not started
  kExitEngineTooOld = -2,           // msi.dll older than 2.0.2600.0 (after a message box)
  kExitEngineNotFound = -3,         // no usable "InstallerLocation": msiexec.exe not located
  kExitPathNotFound = 3,            // the per-user data folder cannot be found; nothing written
  kExitFilenameTooLong = 206,       // a cache path does not fit the platform's path limit
  kExitNoExactFolderName = 1113,    // ERROR_NO_UNICODE_TRANSLATION: the user data folder has no
                                    // exact ANSI name, not even its short form; nothing written
  kExitInvalidCommandLine = 1639,   // options or the composed engine command line too long
  kExitAnotherRunHoldsCache = 1618, // ERROR_INSTALL_ALREADY_RUNNING: another run of the program
                                    // holds the cache tree; nothing written, no box

  // The fatal report (diagnostics/) ends the process from whichever thread hit a
  // staged-file error, with that thread's Win32 error code (5, 32, 112, ...).
  // These are the codes it sets itself when the platform leaves none fitting.
  kExitFatalStagedFileSwapped = 1006,  // ERROR_FILE_INVALID: a staged file was replaced before it was held
  kExitFatalPlantedLink = 681,         // ERROR_STOPPED_ON_SYMLINK: a link planted in the cache tree
  kExitFatalWriteNoProgress = 29,      // ERROR_WRITE_FAULT: a write reported success but wrote nothing
  kExitFatalWithoutErrorCode = 1627    // ERROR_FUNCTION_FAILED: a failure left no error code (never 0)
};

#endif
