// Copies one embedded resource byte for byte into a file.
#ifndef WYK_PAYLOAD_EXTRACT_RESOURCE_H
#define WYK_PAYLOAD_EXTRACT_RESOURCE_H

#include <windows.h>

// 1 when the whole resource is written and the file closed; 0 when the module
// has no such resource (no file is touched). Any file error ends the process
// through the fatal error report.
int ExtractResourceToFile(HMODULE module, WORD id, const char* typeName, const char* path);

// Test seam: called with the path between closing a written file and reopening
// it for holding, so a test can swap or change the file there. Null in the program.
typedef void (*StagedFileClosedHook)(const char* path);
extern StagedFileClosedHook stagedFileClosedHook;

#endif
