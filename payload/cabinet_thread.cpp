#include "payload/cabinet_thread.h"

#include "base/bounded_text.h"
#include "base/product_constants.h"
#include "base/timing_points.h"
#include "diagnostics/diagnostic_log.h"
#include "cache/cache_folder.h"
#include "cache/cache_paths.h"
#include "payload/extract_resource.h"
#include "payload/payload_resource.h"

const char kCabinetsReadyEventName[] = "HalvecWYKCabExtractWaitEvent";

HANDLE OpenCabinetsReadyEvent() { return CreateEventA(NULL, TRUE, FALSE, kCabinetsReadyEventName); }

int SignalCabinetsReady() {
  HANDLE event = OpenCabinetsReadyEvent();
  if (event == NULL) return 0;
  SetEvent(event);
  CloseHandle(event);
  return 1;
}

namespace {

// Written by the main thread before the cabinet thread runs (it starts suspended).
HANDLE cabinetThread = NULL;
DWORD cabinetThreadId = 0;

// A package already waits for the event: a failing cabinet thread sets it, so
// the package goes on (and fails by itself) instead of waiting out its limit.
// Any other failing thread lets the cabinet thread finish, so no cabinet is
// left cut short. Both failing cannot deadlock: the cabinet thread never waits.
void BeforeFatalEndOfRun() {
  if (cabinetThread == NULL) return;
  if (GetCurrentThreadId() == cabinetThreadId) {
    SignalCabinetsReady();
  } else {
    WaitForSingleObject(cabinetThread, INFINITE);
  }
}

}  // namespace

bool StartCabinetThread(HMODULE module) {
  DWORD threadId = 0;
  HANDLE thread = CreateThread(NULL, 0, CabinetExtractionThread, module, CREATE_SUSPENDED, &threadId);
  if (thread == NULL) return false;
  cabinetThread = thread;
  cabinetThreadId = threadId;
  SetBeforeFatalEnd(BeforeFatalEndOfRun);
  ResumeThread(thread);
  return true;
}

void WaitForCabinetThread() {
  if (cabinetThread == NULL) return;
  WaitForSingleObject(cabinetThread, INFINITE);
  SetBeforeFatalEnd(NULL);
  CloseHandle(cabinetThread);
  cabinetThread = NULL;
}

DWORD WINAPI CabinetExtractionThread(LPVOID module) {
  FixedText<kPathCapacity> folder;
  // Without a folder every cabinet is skipped, as a missing one is.
  bool haveFolder = CreateCabinetFolder(folder, IsArchitecture64(kProduct)) == kCachePathReady;
  // The table's order is the writing order; the package's media order differs,
  // but it waits for all five. A module without a cabinet's resource skips it.
  for (size_t i = 0; haveFolder && i < kPayloadResourceCount; ++i) {
    const PayloadResource& row = kPayloadResources[i];
    if (row.writer != kWrittenByCabinetThread) continue;
    WYK_TIMING_POINT(kPointCabinetBegins);
    FixedText<kPathCapacity> path;
    // A cabinet whose path does not fit is skipped like a missing one.
    if (!path.Assign(folder.Text()) || !AppendCacheFileName(path, row.targetFileName)) continue;
    WYK_TIMING_POINT(kPointPathReady);
    ExtractResourceToFile(static_cast<HMODULE>(module), row.id, row.typeName, path.Text());
  }
  WYK_TIMING_POINT(kPointCabinetsDone);
  SignalCabinetsReady();
  return 1;
}
