#include "payload/cache_folder.h"

#include <windows.h>
#include <shlobj.h>

#include "bootstrap/product_constants.h"
#include "payload/cache_paths.h"
#include "platform/system_library.h"

namespace {

// Written once by the first call, on the main thread before the cabinet thread starts.
bool nt6Result = false;
bool nt6Computed = false;

typedef HRESULT(WINAPI* SHGetKnownFolderPathFn)(const GUID&, DWORD, HANDLE, PWSTR*);

const GUID kFolderIdLocalAppDataLow = {
    0xA520A1A4, 0x1780, 0x4FF6, {0xBD, 0x18, 0x16, 0x73, 0x43, 0xC5, 0xAF, 0x16}};

// Appends the three folder levels, creating each one as it is reached.
CachePathResult BuildCacheFolder(BoundedText& path, bool is64, bool createUserFolder) {
  path.Clear();
  if (!GetUserDataFolder(path) || path.IsEmpty()) {
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? kCachePathTooLong : kCachePathNoUserFolder;
  }
  if (createUserFolder) CreateDirectoryA(path.Text(), NULL);
  for (int level = 0; level < kCacheFolderLevelCount; ++level) {
    if (!AppendCacheFolderLevel(path, level, kProduct, is64)) return kCachePathTooLong;
    CreateDirectoryA(path.Text(), NULL);
  }
  return kCachePathReady;
}

}  // namespace

bool IsNt6() {
  if (nt6Computed) return nt6Result;
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(info);
  GetVersionExA(&info);
  nt6Result = info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion == 6;
  nt6Computed = true;
  return nt6Result;
}

int GetLocalLowFolder(BoundedText& folder) {
  HMODULE shell = LoadSystemLibrary("shell32.dll");
  if (shell == NULL) return 0;
  SHGetKnownFolderPathFn getKnownFolder =
      LookUpFunction<SHGetKnownFolderPathFn>(shell, "SHGetKnownFolderPath");
  PWSTR wide = NULL;
  if (getKnownFolder == NULL || getKnownFolder(kFolderIdLocalAppDataLow, 0, NULL, &wide) != S_OK) {
    FreeLibrary(shell);
    return 0;
  }
  // A path that does not fit is refused rather than cut.
  int converted = WideCharToMultiByte(CP_ACP, 0, wide, -1, folder.Data(),
                                      static_cast<int>(folder.Capacity()), NULL, NULL);
  DWORD conversionError = GetLastError();
  CoTaskMemFree(wide);
  FreeLibrary(shell);
  if (converted == 0 || !folder.AdoptWritten()) {
    folder.Clear();
    // Kept for the caller: a folder too long for the path limit is not a missing one.
    SetLastError(conversionError);
    return 0;
  }
  return 1;
}

bool GetUserDataFolder(BoundedText& folder) {
  folder.Clear();
  if (IsNt6()) return GetLocalLowFolder(folder) == 1;
  // The platform wants a buffer of the full path limit here.
  char roaming[MAX_PATH];
  roaming[0] = '\0';
  if (FAILED(SHGetFolderPathA(NULL, CSIDL_APPDATA, NULL, 0, roaming))) return false;
  return folder.Assign(roaming);
}

CachePathResult BuildPackagePath(BoundedText& path, bool is64) {
  CachePathResult result = BuildCacheFolder(path, is64, true);
  if (result != kCachePathReady) return result;
  return AppendPackageFileName(path, kProduct) ? kCachePathReady : kCachePathTooLong;
}

CachePathResult BuildCabinetPath(BoundedText& path, const char* baseName, bool is64) {
  CachePathResult result = BuildCacheFolder(path, is64, false);
  if (result != kCachePathReady) return result;
  return AppendCabinetFileName(path, baseName) ? kCachePathReady : kCachePathTooLong;
}
