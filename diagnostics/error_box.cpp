#include "diagnostics/error_box.h"

#include <windows.h>

#include "diagnostics/diagnostic_log.h"

namespace {

// Only a station that says it is not visible counts: when its flags cannot be
// read, the box is shown as it always was.
bool WindowStationIsInvisible() {
  HWINSTA station = GetProcessWindowStation();  // not to be closed
  if (station == NULL) return false;
  USEROBJECTFLAGS flags;
  DWORD needed = 0;
  if (!GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof(flags), &needed)) {
    return false;
  }
  return (flags.dwFlags & WSF_VISIBLE) == 0;
}

}  // namespace

void ShowErrorBox(const char* text, const char* caption, unsigned int style) {
  if (WindowStationIsInvisible()) {
    LogDiagnostic(text);
    return;
  }
  MessageBoxA(NULL, text, caption, style);
}
