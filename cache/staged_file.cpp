#include "cache/staged_file.h"

#include "base/exit_codes.h"
#include "base/timing_points.h"
#include "diagnostics/diagnostic_log.h"
#include "cache/cache_levels.h"
#include "cache/link_checks.h"
#include "cache/link_rules.h"
#include "platform/system_library.h"

const char kIdentityQueryOperation[] = "Installer : Wrapper.GetFileInformationByHandle ";
StagedNameCheckedHook stagedNameCheckedHook = NULL;

namespace {

const char kCreateFileOperation[] = "Installer : Wrapper.CreateFile ";

// Present from Vista on; looked up, so the program still starts on XP.
typedef BOOL(WINAPI* SetFileInformationByHandleFn)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID,
                                                  DWORD);

// Reading attributes too: the identity queries need it on Windows.
const DWORD kWriteAccess = GENERIC_WRITE | FILE_READ_ATTRIBUTES;
// Windows refuses to write a read-only file, and to create a hidden or system
// one anew without naming those attributes (Wine lets both through).
const DWORD kAbnormalAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM;

// A link at the name ends the run with 681; a file at another place than the
// intended one with elsewhereCode.
void CheckStagedHandle(HANDLE handle, const char* path, DWORD elsewhereCode,
                       BY_HANDLE_FILE_INFORMATION& info) {
  if (!GetFileInformationByHandle(handle, &info)) FatalApiError(kIdentityQueryOperation);
  if (HandleIsLink(handle, info.dwFileAttributes, path)) RefuseLink(kCreateFileOperation);
  if (!IsAtCachePath(handle, path)) FatalError(elsewhereCode, kCreateFileOperation);
}

// Fails on any existing name, a link to nowhere included, and follows none.
HANDLE CreateNewStagedFile(const char* path) {
  return CreateFileA(path, kWriteAccess, 0, NULL, CREATE_NEW,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
}

// A stale file with a second name: this name goes, the other name's data stays.
void RemoveThisName(HANDLE name, const char* path) {
  const char kDeleteOperation[] = "Installer : Wrapper.DeleteFile ";
  SetFileInformationByHandleFn setInformation = LookUpFunction<SetFileInformationByHandleFn>(
      GetModuleHandleA("kernel32.dll"), "SetFileInformationByHandle");
  if (setInformation == NULL) {
    // XP has no links to files: the checked name is removed by name.
    CloseHandle(name);
    if (!DeleteFileA(path)) FatalApiError(kDeleteOperation);
    return;
  }
  FILE_DISPOSITION_INFO disposition;
  disposition.DeleteFile = TRUE;
  BOOL marked = setInformation(name, FileDispositionInfo, &disposition, sizeof(disposition));
  DWORD error = GetLastError();
  CloseHandle(name);  // the name goes with this handle
  if (!marked) FatalError(error, kDeleteOperation);
}

// Opens an existing name without touching its content and holds it: with
// delete access and no delete sharing, nobody can rename or replace it until
// the handle is closed. Null when the name had a second one and is gone now.
HANDLE HoldStaleName(const char* path) {
  HANDLE name = CreateFileA(path, FILE_READ_ATTRIBUTES | DELETE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, NULL);
  if (name == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    // The name exists, yet opening it finds nothing: a link to nowhere.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      RefuseLink(kCreateFileOperation);
    }
    FatalError(error, kCreateFileOperation);
  }
  // Wine shows a link to a file as a plain file; only its final path gives it away.
  BY_HANDLE_FILE_INFORMATION info;
  CheckStagedHandle(name, path, kExitFatalPlantedLink, info);
  if (HasSecondName(info.nNumberOfLinks)) {
    RemoveThisName(name, path);
    return NULL;
  }
  // The name is held, so setting attributes by name reaches the checked file.
  if ((info.dwFileAttributes & kAbnormalAttributes) != 0 &&
      !SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL)) {
    FatalApiError("Installer : Wrapper.SetFileAttributes ");
  }
  return name;
}

}  // namespace

StagedFile OpenStagedFile(const char* path) {
  StagedFile staged;
  staged.name = NULL;
  staged.file = CreateNewStagedFile(path);
  if (staged.file == INVALID_HANDLE_VALUE) {
    if (GetLastError() != ERROR_FILE_EXISTS) FatalApiError(kCreateFileOperation);
    staged.name = HoldStaleName(path);
    if (staged.name == NULL) {
      staged.file = CreateNewStagedFile(path);
    } else {
      if (stagedNameCheckedHook != NULL) stagedNameCheckedHook(path);
      // Shares only deletion, which the name's own handle has; no sharing
      // with anyone else. Data-bearing reparse points are opened through
      // their filter, as any program would; links were refused above.
      staged.file = CreateFileA(path, kWriteAccess, FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    }
    if (staged.file == INVALID_HANDLE_VALUE) FatalApiError(kCreateFileOperation);
  }
  WYK_TIMING_POINT(kPointOpened);
  BY_HANDLE_FILE_INFORMATION& info = staged.identity;
  CheckStagedHandle(staged.file, path, kExitFatalStagedFileSwapped, info);
  if (HasSecondName(info.nNumberOfLinks)) FatalError(kExitFatalStagedFileSwapped, kCreateFileOperation);
  // Only now, with the file vouched for, is a stale content cut.
  if (staged.name != NULL && !SetEndOfFile(staged.file)) {
    FatalApiError("Installer : Wrapper.SetEndOfFile ");
  }
  WYK_TIMING_POINT(kPointOpenedChecked);
  return staged;
}

void ReleaseStagedFileName(StagedFile& staged) {
  if (staged.name != NULL) CloseHandle(staged.name);
  staged.name = NULL;
}
