#include "payload/extract_resource.h"

#include "diagnostics/diagnostic_log.h"

namespace {
const DWORD kChunkSize = 8192;
}

int ExtractResourceToFile(HMODULE module, WORD id, const char* typeName, const char* path) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), typeName);
  if (found == NULL) return 0;
  DWORD size = SizeofResource(module, found);
  // The bytes are read straight from the mapped image: nothing is copied.
  const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));

  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) FatalApiError("Installer : Wrapper.CreateFile ");

  DWORD written = 0;
  while (written < size) {
    DWORD chunk = size - written;
    if (chunk > kChunkSize) chunk = kChunkSize;
    DWORD count = 0;
    if (!WriteFile(file, data + written, chunk, &count, NULL)) {
      FatalApiError("Installer : Wrapper.WriteFile (In small chunks) ");
    }
    // A write that makes no progress would loop for ever: count it as a failure.
    if (count == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      FatalApiError("Installer : Wrapper.WriteFile (In small chunks) ");
    }
    written += count;
  }

  if (!CloseHandle(file)) FatalApiError("Installer : Wrapper.CloseHandle ");
  return 1;
}
