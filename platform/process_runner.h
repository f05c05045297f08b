// Starting child programs and waiting for them to end.
#ifndef WYK_PLATFORM_PROCESS_RUNNER_H
#define WYK_PLATFORM_PROCESS_RUNNER_H

#include <windows.h>

// How a child run ended: started and waited for (its exit code), or not
// started at all (the platform's error code of the failed start).
struct ChildRun {
  bool started;
  DWORD exitCode;
  DWORD startError;
};

// Runs a complete command line (the program is its first token) to its end.
ChildRun RunAndWait(char* commandLine);

// Starts application with argumentText as its whole command line and waits,
// dispatching this thread's window messages meanwhile.
ChildRun RunAndWaitPumping(const char* application, char* argumentText);

// Waits for handle while dispatching messages; 1 when signalled, 0 when the
// wait itself fails.
int WaitPumpingMessages(HANDLE handle);

#endif
