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

}  // namespace

DWORD RunAndWait(char* commandLine) {
  DWORD result = 1;
  PROCESS_INFORMATION process;
  if (!StartChild(NULL, commandLine, process)) return 1;
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &result);
  CloseHandle(process.hProcess);
  return result;
}

DWORD RunAndWaitPumping(const char* application, char* argumentText) {
  DWORD result = 0;
  PROCESS_INFORMATION process;
  if (!StartChild(application, argumentText, process)) return GetLastError();
  WaitPumpingMessages(process.hProcess);
  GetExitCodeProcess(process.hProcess, &result);
  CloseHandle(process.hProcess);
  return result;
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
