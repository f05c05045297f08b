#include "payload/cabinet_thread.h"

#include "bootstrap/bounded_text.h"
#include "bootstrap/product_constants.h"
#include "payload/cache_folder.h"
#include "payload/cache_paths.h"
#include "payload/extract_resource.h"
#include "payload/payload_resource.h"

const char kCabinetsReadyEventName[] = "HalvecWYKCabExtractWaitEvent";

namespace {

struct CabinetRow {
  const char* prefix;
  WORD resourceId;
};

// Writing order; the package's media order differs, but it waits for all five.
const CabinetRow kCabinets[] = {
    {"sd", 107}, {"ss", 110}, {"st", 111}, {"sj", 108}, {"sz", 112},
};

}  // namespace

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
  for (size_t i = 0; i < sizeof(kCabinets) / sizeof(kCabinets[0]); ++i) {
    FixedText<kPathCapacity> baseName;
    FixedText<kPathCapacity> path;
    const PayloadResource* row = FindPayloadResource(kCabinets[i].resourceId);
    // A cabinet whose path cannot be composed is skipped like a missing row.
    if (row == 0 || !ComposeCabinetBaseName(baseName, kCabinets[i].prefix, kProduct) ||
        BuildCabinetPath(path, baseName.Text(), is64) != kCachePathReady) {
      continue;
    }
    ExtractResourceToFile(static_cast<HMODULE>(module), row->id, row->typeName, path.Text());
  }
  SignalCabinetsReady();
  return 1;
}
