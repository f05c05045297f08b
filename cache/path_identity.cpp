#include "cache/path_identity.h"

#include "platform/system_library.h"

namespace {

// Present from Vista on; looked up, so the program still starts on XP.
typedef DWORD(WINAPI* GetFinalPathNameByHandleWFn)(HANDLE, LPWSTR, DWORD, DWORD);
const DWORD kNormalizedDosName = 0;  // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS

// Wide paths: a long form may be longer than its 8-bit short form.
const DWORD kWidePathCapacity = 1024;

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

// <final path of the folder>\<name>; false when it cannot be had or does not fit.
bool ExpectedFinalPath(GetFinalPathNameByHandleWFn finalPathOf, HANDLE folder,
                       const char* folderPath, const char* name, wchar_t* expected) {
  HANDLE opened = NULL;
  if (folder == NULL) {
    opened = CreateFileA(folderPath, FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (opened == INVALID_HANDLE_VALUE) return false;
    folder = opened;
  }
  DWORD folderLength = FinalPathOf(finalPathOf, folder, expected);
  if (opened != NULL) CloseHandle(opened);
  if (folderLength == 0 || folderLength + 1 >= kWidePathCapacity) return false;
  expected[folderLength] = L'\\';
  int room = static_cast<int>(kWidePathCapacity - folderLength - 1);
  return MultiByteToWideChar(CP_ACP, 0, name, -1, expected + folderLength + 1, room) != 0;
}

}  // namespace

bool IsAtIntendedPath(HANDLE handle, HANDLE folder, const char* folderPath, const char* name) {
  GetFinalPathNameByHandleWFn finalPathOf = LookUpFunction<GetFinalPathNameByHandleWFn>(
      GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW");
  if (finalPathOf == NULL) return true;
  wchar_t finalPath[kWidePathCapacity];
  DWORD length = FinalPathOf(finalPathOf, handle, finalPath);
  if (length == 0) return true;
  if (length >= kWidePathCapacity) return false;
  wchar_t expected[kWidePathCapacity];
  if (!ExpectedFinalPath(finalPathOf, folder, folderPath, name, expected)) return false;
  return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, finalPath, -1, expected, -1) ==
         CSTR_EQUAL;
}
