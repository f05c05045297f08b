#include "payload/payload_resource.h"

// Every row is in the neutral English language, the only one the resources use.
const PayloadResource kPayloadResources[] = {
#define WYK_PAYLOAD_ROW(writer, type, id, fileName) {type, id, 1033, fileName, writer},
#include "payload/payload_rows.def"
#undef WYK_PAYLOAD_ROW
};

const size_t kPayloadResourceCount = sizeof(kPayloadResources) / sizeof(kPayloadResources[0]);

const PayloadResource* FindPayloadResource(unsigned short id) {
  for (size_t i = 0; i < kPayloadResourceCount; ++i) {
    if (kPayloadResources[i].id == id) return &kPayloadResources[i];
  }
  return 0;
}
