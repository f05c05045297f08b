// Loading system libraries only from the system directory.
#ifndef WYK_PLATFORM_SYSTEM_LIBRARY_H
#define WYK_PLATFORM_SYSTEM_LIBRARY_H

#include <windows.h>

// Limits the default library search to the system directory where the
// platform can, and takes the current directory out of the search path ("" does
// that). Returns 1, or 0 after logging the refusal of the latter.
int RestrictDllSearchPath(const char* folder);

// Loads <system directory>\<name>; null (and a log entry) when any step fails.
HMODULE LoadSystemLibrary(const char* name);

// GetProcAddress with the function's real type; null when the module lacks it.
template <typename Function>
Function LookUpFunction(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

#endif
