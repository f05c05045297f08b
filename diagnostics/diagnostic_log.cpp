#include "diagnostics/diagnostic_log.h"

#include <windows.h>
#include <time.h>

#include "base/bounded_text.h"
#include "base/folder_text.h"
#include "base/product_constants.h"
#include "diagnostics/log_stamp.h"

namespace {

// The log's folder: TMPDIR plus one backslash when set and not empty, else the
// temporary folder. A folder that does not fit, or that has no exact 8-bit
// name (nor a short form with one), drops the entry rather than writing a log
// somewhere else.
bool ComposeLogPath(BoundedText& path) {
  wchar_t folder[kPathCapacity];
  DWORD n = GetEnvironmentVariableW(L"TMPDIR", folder, kPathCapacity);
  if (n >= kPathCapacity) return false;  // the value does not fit
  bool fromTmpdir = n != 0;
  if (!fromTmpdir) {
    n = GetTempPathW(kPathCapacity, folder);
    if (n == 0 || n >= kPathCapacity) return false;
  }
  if (FolderToAnsiText(folder, path) != kFolderTextReady) return false;
  if (fromTmpdir && !path.AppendChar('\\')) return false;
  return path.Append("tvusched.log");
}

// Writes until every byte is in the file; false at the first write that fails
// or makes no progress, so the entry's remainder is dropped, never looped on.
bool WriteCompletely(HANDLE file, const char* text, size_t length) {
  while (length > 0) {
    DWORD written = 0;
    if (!WriteFile(file, text, static_cast<DWORD>(length), &written, NULL) || written == 0) {
      return false;
    }
    text += written;
    length -= written;
  }
  return true;
}

}  // namespace

void LogDiagnostic(const char* message) {
  FixedText<256> prefix;
  // The 64-bit functions, which every system's runtime library has had since
  // XP: the 32-bit time runs out in January 2038, and the stamp must hold
  // until the end of the year 3000, where the runtime's own range ends.
  __time64_t now = _time64(NULL);
  FormatLogPrefix(prefix, _localtime64(&now));

  FixedText<kPathCapacity> path;
  if (!ComposeLogPath(path)) return;

  HANDLE file = CreateFileA(path.Text(), GENERIC_WRITE, FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  SetFilePointer(file, 0, NULL, FILE_END);
  if (WriteCompletely(file, prefix.Text(), prefix.Length())) {
    WriteCompletely(file, message, BoundedLength(message, static_cast<size_t>(-1)));
  }
  CloseHandle(file);
}
