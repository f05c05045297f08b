// The background thread that writes the kit's cabinets, and the named event
// that tells the package when they are all on disk.
#ifndef WYK_PAYLOAD_CABINET_THREAD_H
#define WYK_PAYLOAD_CABINET_THREAD_H

#include <windows.h>

extern const char kCabinetsReadyEventName[];

// Creates (or opens an existing) manual-reset event, not signalled; null on failure.
HANDLE OpenCabinetsReadyEvent();

// Sets the event; 1, or 0 when it cannot be opened.
int SignalCabinetsReady();

// Thread routine: the parameter is the module handle. Writes the five cabinets
// in order, then signals. Always returns 1.
DWORD WINAPI CabinetExtractionThread(LPVOID module);

// Starts CabinetExtractionThread; false when the thread cannot be created.
// From then on a fatal error on the cabinet thread still sets the event, and
// one on any other thread first waits until the cabinet thread has ended.
bool StartCabinetThread(HMODULE module);

// Waits until the cabinet thread has ended; returns at once when none runs.
void WaitForCabinetThread();

#endif
