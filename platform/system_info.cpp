#include "platform/system_info.h"

#include <windows.h>
#include <shlobj.h>

#include "base/folder_rules.h"
#include "base/folder_text.h"
#include "base/product_constants.h"
#include "platform/redirection_rules.h"
#include "platform/system_library.h"

namespace {

// Written once by the first call, on the main thread before the cabinet thread starts.
bool nt6Result = false;
bool nt6Computed = false;

typedef HRESULT(WINAPI* SHGetKnownFolderPathFn)(const GUID&, DWORD, HANDLE, PWSTR*);

const GUID kFolderIdLocalAppDataLow = {
    0xA520A1A4, 0x1780, 0x4FF6, {0xBD, 0x18, 0x16, 0x73, 0x43, 0xC5, 0xAF, 0x16}};

OSVERSIONINFOA ReadSystemVersion() {
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(info);
  GetVersionExA(&info);
  return info;
}

}  // namespace

bool IsNt6() {
  if (nt6Computed) return nt6Result;
  OSVERSIONINFOA info = ReadSystemVersion();
  // Exactly 6, yet Windows 8, 10 and 11 take the LocalAppDataLow branch too:
  // the manifest names only Vista and 7 as supported systems, and Windows
  // reports 6.2 to a program that does not declare a later one. Adding a later
  // system to the manifest would send those users to the roaming folder.
  nt6Result = info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion == 6;
  nt6Computed = true;
  return nt6Result;
}

bool IsServer2003Family() {
  OSVERSIONINFOA info = ReadSystemVersion();
  return info.dwMajorVersion == 5 && info.dwMinorVersion == 2;
}

namespace {

// A folder too long for the path limit, or one with no exact 8-bit name, is
// not a missing one; the cause is told where it is found.
UserFolderResult AdoptFolder(const wchar_t* wide, BoundedText& folder) {
  switch (FolderToAnsiText(wide, folder)) {
    case kFolderTextReady:
      return folder.IsEmpty() ? kUserFolderMissing : kUserFolderFound;
    case kFolderTextTooLong:
      return kUserFolderTooLong;
    default:
      return kUserFolderNoExactName;
  }
}

}  // namespace

UserFolderResult GetLocalLowFolder(BoundedText& folder) {
  HMODULE shell = LoadSystemLibrary("shell32.dll");
  if (shell == NULL) return kUserFolderMissing;
  SHGetKnownFolderPathFn getKnownFolder =
      LookUpFunction<SHGetKnownFolderPathFn>(shell, "SHGetKnownFolderPath");
  PWSTR wide = NULL;
  if (getKnownFolder == NULL || getKnownFolder(kFolderIdLocalAppDataLow, 0, NULL, &wide) != S_OK) {
    FreeLibrary(shell);
    return kUserFolderMissing;
  }
  UserFolderResult result = AdoptFolder(wide, folder);
  CoTaskMemFree(wide);
  FreeLibrary(shell);
  return result;
}

namespace {

typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);
typedef UINT(WINAPI* GetSystemWow64DirectoryAFn)(LPSTR, UINT);

// Both looked up at run time: systems before XP SP2 lack the first, and they
// run no WoW64. A 64-bit process is never under WoW64.
bool RunsUnderWow64() {
  IsWow64ProcessFn isWow64 =
      LookUpFunction<IsWow64ProcessFn>(GetModuleHandleA("kernel32.dll"), "IsWow64Process");
  BOOL wow64 = FALSE;
  return isWow64 != NULL && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

bool ReadWow64SystemFolder(BoundedText& folder) {
  GetSystemWow64DirectoryAFn read = LookUpFunction<GetSystemWow64DirectoryAFn>(
      GetModuleHandleA("kernel32.dll"), "GetSystemWow64DirectoryA");
  if (read == NULL) return false;
  UINT n = read(folder.Data(), static_cast<UINT>(folder.Capacity()));
  return n != 0 && n < folder.Capacity() && folder.AdoptWritten();
}

// Every cache path is composed from the user data folder and handed to the
// engine, a 64-bit service on 64-bit Windows: SYSTEM's folder lies below the
// system folder, where this program's file calls are redirected and the
// engine's are not. Taken in the form both resolve alike, the program writes,
// holds and names one and the same file.
UserFolderResult AdoptSharedForm(BoundedText& folder) {
  if (!RunsUnderWow64()) return kUserFolderFound;
  FixedText<kPathCapacity> system;
  FixedText<kPathCapacity> wow64;
  UINT n = GetSystemDirectoryA(system.Data(), kPathCapacity);
  // Without both names it cannot be told which name the engine would need.
  if (n == 0 || n >= kPathCapacity || !system.AdoptWritten() || !ReadWow64SystemFolder(wow64)) {
    folder.Clear();
    return kUserFolderMissing;
  }
  FixedText<kPathCapacity> shared;
  if (!ComposeSharedPathForm(shared, folder.Text(), system.Text(), wow64.Text(), true) ||
      !folder.Assign(shared.Text())) {
    folder.Clear();
    return kUserFolderTooLong;
  }
  return kUserFolderFound;
}

UserFolderResult FindPlatformUserDataFolder(BoundedText& folder) {
  if (IsNt6()) return GetLocalLowFolder(folder);
  // The platform wants a buffer of the full path limit here; the wide form,
  // because the 8-bit one converts with best fit and may name another folder.
  wchar_t roaming[MAX_PATH];
  roaming[0] = L'\0';
  if (FAILED(SHGetFolderPathW(NULL, CSIDL_APPDATA, NULL, 0, roaming)) || roaming[0] == L'\0') {
    return kUserFolderMissing;
  }
  return AdoptFolder(roaming, folder);
}

}  // namespace

UserFolderResult FindUserDataFolder(BoundedText& folder) {
  folder.Clear();
  UserFolderResult found = FindPlatformUserDataFolder(folder);
  return found == kUserFolderFound ? AdoptSharedForm(folder) : found;
}

bool GetUserDataFolder(BoundedText& folder) {
  return FindUserDataFolder(folder) == kUserFolderFound;
}

bool GetCommonFilesFolder(BoundedText& folder) {
  folder.Clear();
  // Empty first: a lookup may succeed without writing anything.
  wchar_t wide[MAX_PATH];
  wide[0] = L'\0';
  if (FAILED(SHGetFolderPathW(NULL, CSIDL_PROGRAM_FILES_COMMON, NULL, 0, wide)) ||
      FolderToAnsiText(wide, folder) != kFolderTextReady || !IsAbsoluteFolder(folder.Text())) {
    folder.Clear();
    return false;
  }
  return true;
}
