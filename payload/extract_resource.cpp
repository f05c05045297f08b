#include "payload/extract_resource.h"

#include "base/exit_codes.h"
#include "base/timing_points.h"
#include "diagnostics/diagnostic_log.h"
#include "cache/staged_file.h"

StagedFileClosedHook stagedFileClosedHook = NULL;

namespace {

const DWORD kChunkSize = 8192;

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// The cache folder is one that low-integrity processes may write, and an
// elevated engine installs from it. So a finished file stays open for reading,
// with sharing that allows reading only, until the process ends: nobody can
// replace, rewrite or delete it before the engine's last read. The handle is
// deliberately never closed.
void HoldStagedFile(const char* path, const BY_HANDLE_FILE_INFORMATION& written, DWORD size) {
  HANDLE held = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (held == INVALID_HANDLE_VALUE) FatalApiError("Installer : Wrapper.OpenForReading ");
  // A query that fails ends the run with its own error: without an identity
  // the file cannot be vouched for.
  BY_HANDLE_FILE_INFORMATION reopened;
  if (!GetFileInformationByHandle(held, &reopened)) FatalApiError(kIdentityQueryOperation);
  // Between closing and reopening, the file must not have been swapped for
  // another one, nor grown or cut.
  if (!SameFile(written, reopened) || reopened.nFileSizeHigh != 0 || reopened.nFileSizeLow != size) {
    FatalError(kExitFatalStagedFileSwapped, "Installer : Wrapper.OpenForReading ");
  }
}

}  // namespace

int ExtractResourceToFile(HMODULE module, WORD id, const char* typeName, const char* path) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), typeName);
  if (found == NULL) return 0;
  DWORD size = SizeofResource(module, found);
  // The bytes are read straight from the mapped image: nothing is copied.
  const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));

  WYK_TIMING_POINT(kPointOpenDue);
  StagedFile staged = OpenStagedFile(path);
  HANDLE file = staged.file;

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
      FatalError(kExitFatalWriteNoProgress, "Installer : Wrapper.WriteFile (In small chunks) ");
    }
    written += count;
  }
  WYK_TIMING_POINT(kPointWritten);

  if (!CloseHandle(file)) FatalApiError("Installer : Wrapper.CloseHandle ");
  ReleaseStagedFileName(staged);
  if (stagedFileClosedHook != NULL) stagedFileClosedHook(path);
  WYK_TIMING_POINT(kPointClosed);
  HoldStagedFile(path, staged.identity, size);
  WYK_TIMING_POINT(kPointHeld);
  return 1;
}
