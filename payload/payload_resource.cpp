#include "payload/payload_resource.h"

// Cabinet N is the type "TAVRO_CAB<N>" with id 101 + N; there is no cabinet 8.
// The update-service cabinet is filed under the package type on purpose.
const PayloadResource kPayloadResources[] = {
    {"TAVRO_INSTALLER", kMainPackageId, 1033, "wyk1.7.0.msi", kWrittenByMainSequence},
    {"TAVRO_CAB6", 107, 1033, "sd170000.cab", kWrittenByCabinetThread},
    {"TAVRO_CAB9", 110, 1033, "ss170000.cab", kWrittenByCabinetThread},
    {"TAVRO_CAB10", 111, 1033, "st170000.cab", kWrittenByCabinetThread},
    {"TAVRO_CAB7", 108, 1033, "sj170000.cab", kWrittenByCabinetThread},
    {"TAVRO_CAB11", 112, 1033, "sz170000.cab", kWrittenByCabinetThread},
    {"TAVRO_INSTALLER", kUpdateServiceCabinetId, 1033, "au.cab", kWrittenByUpdateService},
    {"TAVRO_INSTALLER", kUpdateServicePackageId, 1033, "au.msi", kWrittenByUpdateService},
};

const size_t kPayloadResourceCount = sizeof(kPayloadResources) / sizeof(kPayloadResources[0]);

const PayloadResource* FindPayloadResource(unsigned short id) {
  for (size_t i = 0; i < kPayloadResourceCount; ++i) {
    if (kPayloadResources[i].id == id) return &kPayloadResources[i];
  }
  return 0;
}
