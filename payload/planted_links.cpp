#include "payload/planted_links.h"

#include "base/bounded_text.h"
#include "base/exit_codes.h"
#include "base/product_constants.h"
#include "diagnostics/diagnostic_log.h"
#include "platform/system_library.h"

namespace {

// Present from Vista on; looked up, so the program still starts on XP.
typedef DWORD(WINAPI* GetFinalPathNameByHandleWFn)(HANDLE, LPWSTR, DWORD, DWORD);
const DWORD kNormalizedDosName = 0;  // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS

// Wide paths: a long form may be longer than its 8-bit short form.
const DWORD kWidePathCapacity = 1024;

bool IsLink(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Under Wine a link cannot be taken away by itself: removing or deleting it
// through any platform call removes what it points to. So a planted link is
// refused, never touched, and the run ends before anything is written.
void RefuseLink(const char* operation) {
  SetLastError(kExitFatalPlantedLink);
  FatalApiError(operation);
}

const wchar_t* WithoutLongPathPrefix(const wchar_t* path) {
  bool prefixed = path[0] == L'\\' && path[1] == L'\\' && path[2] == L'?' && path[3] == L'\\';
  return prefixed ? path + 4 : path;
}

// False only when the platform names another file than the intended one; a
// platform that cannot tell leaves the decision to the link checks.
bool IsIntendedPath(HANDLE file, const char* path) {
  GetFinalPathNameByHandleWFn finalPathOf = LookUpFunction<GetFinalPathNameByHandleWFn>(
      GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW");
  if (finalPathOf == NULL) return true;
  wchar_t finalPath[kWidePathCapacity];
  DWORD length = finalPathOf(file, finalPath, kWidePathCapacity, kNormalizedDosName);
  if (length == 0) return true;
  if (length >= kWidePathCapacity) return false;
  wchar_t intended[kWidePathCapacity];
  if (MultiByteToWideChar(CP_ACP, 0, path, -1, intended, kWidePathCapacity) == 0) return false;
  // A folder taken in its short form names the same file as its long form.
  wchar_t longForm[kWidePathCapacity];
  DWORD longLength = GetLongPathNameW(intended, longForm, kWidePathCapacity);
  const wchar_t* expected = longLength != 0 && longLength < kWidePathCapacity ? longForm : intended;
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, WithoutLongPathPrefix(finalPath), -1,
                        expected, -1) == CSTR_EQUAL;
}

}  // namespace

void CreateRealFolder(const char* path) {
  // Judged without a trailing backslash, which would look through a link.
  FixedText<kPathCapacity> level;
  size_t length = BoundedLength(path, kPathCapacity);
  if (length > 0 && path[length - 1] == '\\') --length;
  level.AppendN(path, length);
  if (level.Fits() && IsLink(GetFileAttributesA(level.Text()))) {
    RefuseLink("Installer : Wrapper.CreateDirectory ");
  }
  // A level that already exists is the normal case from the second run on.
  CreateDirectoryA(path, NULL);
}

void GuardStagedFileName(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return;  // nothing there yet
  if (IsLink(attributes)) RefuseLink("Installer : Wrapper.CreateFile ");
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return;  // the creation fails by itself
  HANDLE existing = CreateFileA(path, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, NULL);
  if (existing == INVALID_HANDLE_VALUE) return;  // the creation reports why
  BY_HANDLE_FILE_INFORMATION info;
  DWORD names = GetFileInformationByHandle(existing, &info) ? info.nNumberOfLinks : 0;
  // Wine shows a link to a file as a plain file; only its final path gives it away.
  bool elsewhere = !IsIntendedPath(existing, path);
  CloseHandle(existing);
  if (elsewhere) RefuseLink("Installer : Wrapper.CreateFile ");
  // A second name of the same data: deleting this name leaves the other's data whole.
  if (names > 1 && !DeleteFileA(path)) FatalApiError("Installer : Wrapper.DeleteFile ");
}

void CheckOpenedStagedFile(HANDLE file, const char* path) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) FatalApiError("Installer : Wrapper.CreateFile ");
  if (IsLink(info.dwFileAttributes) || info.nNumberOfLinks != 1 || !IsIntendedPath(file, path)) {
    SetLastError(kExitFatalStagedFileSwapped);
    FatalApiError("Installer : Wrapper.CreateFile ");
  }
}
