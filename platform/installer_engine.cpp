#include "platform/installer_engine.h"

#include <windows.h>

#include "base/folder_rules.h"
#include "base/product_constants.h"
#include "platform/engine_rules.h"
#include "platform/system_info.h"
#include "platform/system_library.h"

namespace {

typedef BOOL(WINAPI* GetFileVersionInfoAFn)(LPCSTR, DWORD, DWORD, LPVOID);
typedef BOOL(WINAPI* VerQueryValueAFn)(LPCVOID, LPCSTR, LPVOID*, PUINT);

// The version library is not one the platform always takes from its own
// directory, so it is loaded here by full path instead of being imported.
int ReadEngineFileVersion(const char* enginePath, DWORD& high, DWORD& low) {
  HMODULE version = LoadSystemLibrary("version.dll");
  if (version == NULL) return 0;
  GetFileVersionInfoAFn getInfo =
      LookUpFunction<GetFileVersionInfoAFn>(version, "GetFileVersionInfoA");
  VerQueryValueAFn query =
      LookUpFunction<VerQueryValueAFn>(version, "VerQueryValueA");
  int found = 0;
  // The fixed part sits at the start of the block, so 1024 bytes always hold it.
  DWORD block[256];
  if (getInfo != NULL && query != NULL && getInfo(enginePath, 0, sizeof(block), block)) {
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT fixedSize = 0;
    if (query(block, "\\", reinterpret_cast<LPVOID*>(&fixed), &fixedSize) && fixed != NULL &&
        fixedSize >= sizeof(VS_FIXEDFILEINFO)) {
      high = fixed->dwFileVersionMS;
      low = fixed->dwFileVersionLS;
      found = 1;
    }
  }
  FreeLibrary(version);
  return found;
}

bool FillSystemDirectory(BoundedText& path) {
  UINT n = GetSystemDirectoryA(path.Data(), static_cast<UINT>(path.Capacity()));
  return n != 0 && n < path.Capacity() && path.AdoptWritten();
}

}  // namespace

int CheckInstallerEngineVersion() {
  FixedText<kLineCapacity> enginePath;
  if (!FillSystemDirectory(enginePath) || !enginePath.Append("\\msi.dll")) return 0;
  DWORD high = 0;
  DWORD low = 0;
  if (!ReadEngineFileVersion(enginePath.Text(), high, low)) return 0;
  return IsEngineVersionAccepted(high, low) ? 1 : 0;
}

int LocateMsiexec(BoundedText& path) {
  path.Clear();
  if (IsServer2003Family()) {
    if (!FillSystemDirectory(path)) return 0;
  } else {
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer",
                      0, KEY_READ, &key) != ERROR_SUCCESS) {
      return 0;
    }
    // Leave room for a terminating zero the stored value may lack.
    DWORD size = static_cast<DWORD>(path.Capacity() - 1);
    LONG result = RegQueryValueExA(key, "InstallerLocation", NULL, NULL,
                                   reinterpret_cast<BYTE*>(path.Data()), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
      path.Clear();
      return 0;
    }
    path.Data()[size] = '\0';
    path.AdoptWritten();
    // Only administrators can write the value, yet a damaged one must not send
    // an elevated start to the current drive's root or the current folder.
    if (!IsAbsoluteFolder(path.Text())) {
      path.Clear();
      return 0;
    }
  }
  if (!AppendMsiexecFileName(path)) {
    path.Clear();
    return 0;
  }
  return 1;
}
