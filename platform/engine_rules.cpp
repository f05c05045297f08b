#include "platform/engine_rules.h"

namespace {
const unsigned long kLeastVersionHigh = 0x00020000UL;  // 2.0
const unsigned long kLeastVersionLow = 0x0A280000UL;   // 2600.0
}  // namespace

bool IsEngineVersionAccepted(unsigned long versionHigh, unsigned long versionLow) {
  versionHigh &= 0xFFFFFFFFUL;
  versionLow &= 0xFFFFFFFFUL;
  if (versionHigh != kLeastVersionHigh) return versionHigh > kLeastVersionHigh;
  return versionLow >= kLeastVersionLow;
}

bool AppendMsiexecFileName(BoundedText& folder) { return folder.Append("\\msiexec.exe"); }
