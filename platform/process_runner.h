// Starting child programs and waiting for them to end.
#ifndef WYK_PLATFORM_PROCESS_RUNNER_H
#define WYK_PLATFORM_PROCESS_RUNNER_H

#include <windows.h>

// Runs a complete command line (the program is its first token) to its end and
// returns the child's exit code; 1 when the process cannot be started.
DWORD RunAndWait(char* commandLine);

// Starts application with argumentText as its whole command line and waits,
// dispatching this thread's window messages meanwhile. Returns the child's exit
// code, or the platform's error code when it cannot be started.
DWORD RunAndWaitPumping(const char* application, char* argumentText);

// Waits for handle while dispatching messages; 1 when signalled, 0 when the
// wait itself fails.
int WaitPumpingMessages(HANDLE handle);

#endif
