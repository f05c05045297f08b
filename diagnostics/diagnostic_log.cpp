#include "diagnostics/diagnostic_log.h"

#include <windows.h>
#include <time.h>

#include "bootstrap/bounded_text.h"
#include "bootstrap/product_constants.h"
#include "diagnostics/log_stamp.h"

namespace {

// The log's folder: TMPDIR plus one backslash when set and not empty, else the
// temporary folder. A folder that does not fit drops the entry rather than
// writing a log somewhere else.
bool ComposeLogPath(BoundedText& path) {
  DWORD n = GetEnvironmentVariableA("TMPDIR", path.Data(), static_cast<DWORD>(path.Capacity()));
  if (n >= path.Capacity()) return false;  // the value does not fit
  if (n != 0) {
    if (!path.AdoptWritten() || !path.AppendChar('\\')) return false;
  } else {
    n = GetTempPathA(static_cast<DWORD>(path.Capacity()), path.Data());
    if (n == 0 || n >= path.Capacity() || !path.AdoptWritten()) return false;
  }
  return path.Append("tvusched.log");
}

void WriteAll(HANDLE file, const char* text, size_t length) {
  DWORD written = 0;
  WriteFile(file, text, static_cast<DWORD>(length), &written, NULL);
}

}  // namespace

void LogDiagnostic(const char* message) {
  FixedText<256> prefix;
  time_t now = time(NULL);
  FormatLogPrefix(prefix, localtime(&now));

  FixedText<kPathCapacity> path;
  if (!ComposeLogPath(path)) return;

  HANDLE file = CreateFileA(path.Text(), GENERIC_WRITE, FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  SetFilePointer(file, 0, NULL, FILE_END);
  WriteAll(file, prefix.Text(), prefix.Length());
  WriteAll(file, message, BoundedLength(message, static_cast<size_t>(-1)));
  CloseHandle(file);
}
