#include "platform/system_library.h"

#include "base/bounded_text.h"
#include "base/product_constants.h"
#include "diagnostics/diagnostic_log.h"

namespace {

// Every entry: "<first><number>[<second><number>]" composed into 1024 characters.
void LogWithCodes(const char* first, long a, const char* second, long b, bool two) {
  FixedText<kLineCapacity> message;
  message.Append(first);
  message.AppendDecimal(a);
  if (two) {
    message.Append(second);
    message.AppendDecimal(b);
  }
  if (message.Fits()) LogDiagnostic(message.Text());
}

long LastError() { return static_cast<long>(static_cast<int>(GetLastError())); }

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD);
const DWORD kSearchSystemDirectoryOnly = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

// Libraries that system libraries load by name after start (uxtheme.dll for a
// message box, say) would otherwise be looked for first in the program's own
// folder, typically Downloads. Systems older than the function keep their
// default search.
void SearchOnlyTheSystemDirectory() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == NULL) return;
  SetDefaultDllDirectoriesFn restrict =
      LookUpFunction<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories");
  if (restrict != NULL) restrict(kSearchSystemDirectoryOnly);
}

}  // namespace

int RestrictDllSearchPath(const char* folder) {
  SearchOnlyTheSystemDirectory();
  if (SetDllDirectoryA(folder)) return 1;
  LogWithCodes("SetDllDirectory() failed.  ErrorCode: ", LastError(), "", 0, false);
  return 0;
}

HMODULE LoadSystemLibrary(const char* name) {
  FixedText<kPathCapacity> directory;
  UINT n = GetSystemDirectoryA(directory.Data(), kPathCapacity);
  if (n == 0 || n >= kPathCapacity || !directory.AdoptWritten()) {
    long error = LastError();
    LogWithCodes("GetSystemDirectory failed.  Return Code: ", static_cast<long>(n),
                 ", ErrorCode: ", error, true);
    return NULL;
  }

  FixedText<kPathCapacity> path;
  path.Append(directory.Text());
  path.AppendChar('\\');
  path.Append(name);
  if (!path.Fits()) {
    LogWithCodes("_snprintf failed.  ErrorCode: ", LastError(), "", 0, false);
    return NULL;
  }

  HMODULE module = LoadLibraryA(path.Text());
  if (module == NULL) {
    long error = LastError();
    FixedText<kLineCapacity> message;
    message.Append("LoadLibrary(");
    message.Append(path.Text());
    message.Append(") failed.  ErrorCode: ");
    message.AppendDecimal(error);
    if (message.Fits()) LogDiagnostic(message.Text());
  }
  return module;
}
