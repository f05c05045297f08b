/* Custom action of the development kit package: the hand-off with the setup
 * program that carries the package.
 *
 * The setup program writes the package first and starts the engine at once,
 * while a second thread of it is still writing the five cabinets beside the
 * package. It creates the manual-reset event "HalvecWYKCabExtractWaitEvent"
 * before that and sets it when the last cabinet is complete. This action runs
 * before anything reads a cabinet and holds the package back until then: it
 * creates-or-opens the event with the very arguments the setup program uses
 * (so whichever side comes first creates it) and waits for it, at most
 * fifteen minutes, then goes on in any case: a setup program that died must
 * not leave the engine hanging for ever, and the engine reports a missing
 * cabinet itself.
 *
 * Both outcomes are written to the engine's log, so a log shows whether the
 * package waited and how long. */
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <stdio.h>

#define CABINETS_READY_EVENT "HalvecWYKCabExtractWaitEvent"
#define CABINETS_WAIT_LIMIT_MS 900000u

static void LogInfo(MSIHANDLE install, const char* text) {
  MSIHANDLE record = MsiCreateRecord(1);
  if (record == 0) return;
  MsiRecordSetStringA(record, 0, "[1]");
  MsiRecordSetStringA(record, 1, text);
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
  MsiCloseHandle(record);
}

__declspec(dllexport) UINT __stdcall WaitForCabinets(MSIHANDLE install) {
  char line[200];
  HANDLE ready = CreateEventA(NULL, TRUE, FALSE, CABINETS_READY_EVENT);
  if (ready == NULL) {
    /* Another kind of object holds the name: nobody will signal us. */
    snprintf(line, sizeof(line), "Cabinet wait: event not available (error %lu), going on",
             (unsigned long)GetLastError());
    LogInfo(install, line);
    return ERROR_SUCCESS;
  }
  LogInfo(install, "Cabinet wait: waiting for " CABINETS_READY_EVENT);
  DWORD start = GetTickCount();
  DWORD result = WaitForSingleObject(ready, CABINETS_WAIT_LIMIT_MS);
  DWORD elapsed = GetTickCount() - start;
  CloseHandle(ready);
  snprintf(line, sizeof(line), "Cabinet wait: %s after %lu ms (wait result %lu)",
           result == WAIT_OBJECT_0 ? "cabinets ready" : "gave up waiting",
           (unsigned long)elapsed, (unsigned long)result);
  LogInfo(install, line);
  return ERROR_SUCCESS;
}
