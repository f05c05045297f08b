#include <windows.h>

#include "base/bounded_text.h"
#include "base/exit_codes.h"
#include "diagnostics/diagnostic_log.h"
#include "diagnostics/error_box.h"

namespace {
BeforeFatalEnd beforeFatalEnd = NULL;
}

void SetBeforeFatalEnd(BeforeFatalEnd hook) { beforeFatalEnd = hook; }

void FatalError(unsigned long code, const char* operation) {
  SetLastError(code);
  FatalApiError(operation);
}

void FatalApiError(const char* operation) {
  DWORD code = GetLastError();
  // A fatal report must never end the process as if it had succeeded.
  if (code == 0) code = kExitFatalWithoutErrorCode;

  char* systemText = NULL;
  DWORD systemLength = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      NULL, code, LANG_USER_DEFAULT, reinterpret_cast<char*>(&systemText), 0, NULL);
  if (systemLength == 0) systemText = NULL;

  // Room for both texts plus " failed with error ", the number and ": ".
  size_t operationLength = BoundedLength(operation, static_cast<size_t>(-1));
  size_t capacity = operationLength + systemLength + 40;
  char* block = static_cast<char*>(LocalAlloc(LMEM_ZEROINIT, capacity));
  if (block != NULL) {
    BoundedText message(block, capacity);
    message.Append(operation);
    message.Append(" failed with error ");
    message.AppendDecimal(static_cast<long>(static_cast<int>(code)));
    message.Append(": ");
    if (systemText != NULL) message.Append(systemText);
    ShowErrorBox(message.Text(), "Error", MB_OK);
  } else {
    ShowErrorBox(operation, "Error", MB_OK);
  }

  if (systemText != NULL) LocalFree(systemText);
  if (block != NULL) LocalFree(block);
  if (beforeFatalEnd != NULL) beforeFatalEnd();
  ExitProcess(code);
}
