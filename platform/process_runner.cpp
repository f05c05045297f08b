#include "platform/process_runner.h"

namespace {

// Starts a child with the platform's defaults. The primary-thread handle is of
// no use here and is closed at once.
bool StartChild(const char* application, char* commandLine, PROCESS_INFORMATION& process) {
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  ZeroMemory(&process, sizeof(process));
  if (!CreateProcessA(application, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                      &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  return true;
}

ChildRun NotStarted() {
  ChildRun run = {false, 0, GetLastError()};
  return run;
}

// The exit code stays as preset when the platform cannot give it.
ChildRun Finished(HANDLE process, DWORD presetExitCode) {
  ChildRun run = {true, presetExitCode, 0};
  GetExitCodeProcess(process, &run.exitCode);
  CloseHandle(process);
  return run;
}

}  // namespace

ChildRun RunAndWait(char* commandLine) {
  PROCESS_INFORMATION process;
  if (!StartChild(NULL, commandLine, process)) return NotStarted();
  WaitForSingleObject(process.hProcess, INFINITE);
  return Finished(process.hProcess, 1);
}

ChildRun RunAndWaitPumping(const char* application, char* argumentText) {
  PROCESS_INFORMATION process;
  if (!StartChild(application, argumentText, process)) return NotStarted();
  WaitPumpingMessages(process.hProcess);
  return Finished(process.hProcess, 0);
}

int WaitPumpingMessages(HANDLE handle) {
  for (;;) {
    DWORD wait = MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_ALLINPUT,
                                             MWMO_INPUTAVAILABLE);
    if (wait == WAIT_OBJECT_0) return 1;
    if (wait != WAIT_OBJECT_0 + 1) return 0;
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE)) {
      bool unicode = IsWindowUnicode(message.hwnd) != FALSE;
      BOOL got = unicode ? GetMessageW(&message, NULL, 0, 0) : GetMessageA(&message, NULL, 0, 0);
      // 0 is a quit message (consumed, the wait goes on), -1 an error.
      if (got > 0) {
        TranslateMessage(&message);
        if (unicode) {
          DispatchMessageW(&message);
        } else {
          DispatchMessageA(&message);
        }
      }
      if (WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) return 1;
    }
  }
}
