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

// The handle's final path without a "\\?\" prefix, or 0 when the platform
// cannot tell; kWidePathCapacity when it does not fit.
DWORD FinalPathOf(GetFinalPathNameByHandleWFn finalPathOf, HANDLE handle, wchar_t* out) {
  wchar_t found[kWidePathCapacity];
  DWORD length = finalPathOf(handle, found, kWidePathCapacity, kNormalizedDosName);
  if (length == 0 || length >= kWidePathCapacity) return length == 0 ? 0 : kWidePathCapacity;
  const wchar_t* bare = WithoutLongPathPrefix(found);
  DWORD i = 0;
  for (; bare[i] != L'\0'; ++i) out[i] = bare[i];
  out[i] = L'\0';
  return i;
}

// Where the file at path should be: the final path of its folder, plus its
// name. A link above the cache tree (a profile moved to another drive through
// a junction, say) is the user's own and is followed; the cache tree's own
// levels were already refused as links, so only a swap of the name is left.
bool ExpectedFinalPath(GetFinalPathNameByHandleWFn finalPathOf, const char* path,
                       wchar_t* expected) {
  size_t length = BoundedLength(path, kPathCapacity);
  size_t slash = length;
  while (slash > 0 && path[slash - 1] != '\\') --slash;
  if (slash < 2) return false;
  FixedText<kPathCapacity> folder;
  if (!folder.AppendN(path, slash - 1)) return false;
  HANDLE handle = CreateFileA(folder.Text(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD folderLength = FinalPathOf(finalPathOf, handle, expected);
  CloseHandle(handle);
  if (folderLength == 0 || folderLength + 1 >= kWidePathCapacity) return false;
  expected[folderLength] = L'\\';
  int room = static_cast<int>(kWidePathCapacity - folderLength - 1);
  return MultiByteToWideChar(CP_ACP, 0, path + slash, -1, expected + folderLength + 1, room) != 0;
}

// False when the platform names another file than the intended one; a
// platform that cannot tell leaves the decision to the link checks.
bool IsIntendedPath(HANDLE file, const char* path) {
  GetFinalPathNameByHandleWFn finalPathOf = LookUpFunction<GetFinalPathNameByHandleWFn>(
      GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW");
  if (finalPathOf == NULL) return true;
  wchar_t finalPath[kWidePathCapacity];
  DWORD length = FinalPathOf(finalPathOf, file, finalPath);
  if (length == 0) return true;
  if (length >= kWidePathCapacity) return false;
  wchar_t expected[kWidePathCapacity];
  if (!ExpectedFinalPath(finalPathOf, path, expected)) return false;
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, finalPath, -1, expected, -1) ==
         CSTR_EQUAL;
}

}  // namespace

void CreateRealFolder(const char* path) {
  // Judged without a trailing backslash, which would look through a link.
  FixedText<kPathCapacity> level;
  size_t length = BoundedLength(path, kPathCapacity);
  if (length > 0 && path[length - 1] == '\\') --length;
  level.AppendN(path, length);
  DWORD before = level.Fits() ? GetFileAttributesA(level.Text()) : INVALID_FILE_ATTRIBUTES;
  if (IsLink(before)) RefuseLink("Installer : Wrapper.CreateDirectory ");
  // A level that already exists is the normal case from the second run on.
  if (CreateDirectoryA(path, NULL) || before != INVALID_FILE_ATTRIBUTES) return;
  // A name that reads as nothing yet cannot be made: under Wine a link to a
  // target that does not exist (yet) reads so. Another run making the folder
  // meanwhile leaves a real folder, which reads as one now.
  bool exists = GetLastError() == ERROR_ALREADY_EXISTS;
  if (exists && GetFileAttributesA(level.Text()) == INVALID_FILE_ATTRIBUTES) {
    RefuseLink("Installer : Wrapper.CreateDirectory ");
  }
}

void CreateRealFolderLevels(const char* folder, size_t start) {
  FixedText<kPathCapacity> level;
  size_t length = BoundedLength(folder, kPathCapacity);
  for (size_t i = start + 1; i < length; ++i) {
    if (folder[i] != '\\') continue;
    level.Clear();
    level.AppendN(folder, i + 1);
    CreateRealFolder(level.Text());
  }
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

const char kIdentityQueryOperation[] = "Installer : Wrapper.GetFileInformationByHandle ";

void CheckOpenedStagedFile(HANDLE file, const char* path) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) FatalApiError(kIdentityQueryOperation);
  if (IsLink(info.dwFileAttributes) || info.nNumberOfLinks != 1 || !IsIntendedPath(file, path)) {
    SetLastError(kExitFatalStagedFileSwapped);
    FatalApiError("Installer : Wrapper.CreateFile ");
  }
}
