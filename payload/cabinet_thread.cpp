#include "payload/cabinet_thread.h"

#include "base/bounded_text.h"
#include "base/product_constants.h"
#include "payload/cache_folder.h"
#include "payload/cache_paths.h"
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

DWORD WINAPI CabinetExtractionThread(LPVOID module) {
  bool is64 = IsArchitecture64(kProduct);
  // The table's order is the writing order; the package's media order differs,
  // but it waits for all five. A module without a cabinet's resource skips it.
  for (size_t i = 0; i < kPayloadResourceCount; ++i) {
    const PayloadResource& row = kPayloadResources[i];
    if (row.writer != kWrittenByCabinetThread) continue;
    FixedText<kPathCapacity> path;
    // A cabinet whose path cannot be composed is skipped like a missing one.
    if (CreateCacheFolderAndCabinetPath(path, row.targetFileName, is64) != kCachePathReady) {
      continue;
    }
    ExtractResourceToFile(static_cast<HMODULE>(module), row.id, row.typeName, path.Text());
  }
  SignalCabinetsReady();
  return 1;
}
