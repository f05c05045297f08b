#include "platform/registry_key.h"

#include "base/bounded_text.h"
#include "platform/registry_rules.h"
#include "platform/system_library.h"

namespace {

typedef LONG(WINAPI* RegDeleteKeyExAFn)(HKEY, LPCSTR, REGSAM, DWORD);

// Looked up once; older systems lack the function and delete in the default view.
RegDeleteKeyExAFn deleteKeyEx = NULL;
bool deleteKeyExLookedUp = false;

const DWORD kViewMask = KEY_WOW64_32KEY | KEY_WOW64_64KEY;

}  // namespace

LONG RegistryKey::Open(HKEY parent, const char* name, REGSAM access) {
  HKEY opened = NULL;
  LONG result = RegOpenKeyExA(parent, name, 0, access, &opened);
  if (result != ERROR_SUCCESS) return result;
  LONG closed = Close();
  handle_ = opened;
  viewBits_ = access & kViewMask;
  return closed;
}

LONG RegistryKey::Close() {
  LONG result = ERROR_SUCCESS;
  if (handle_ != NULL) {
    result = RegCloseKey(handle_);
    handle_ = NULL;
  }
  viewBits_ = 0;
  return result;
}

namespace {

// What a query into a buffer of capacity bytes left: anything but a complete
// text leaves the buffer's first character zero.
template <typename Char>
LONG JudgeStringRead(LONG result, DWORD type, Char* buffer, DWORD capacity, DWORD size) {
  if (capacity < sizeof(Char)) return result == ERROR_SUCCESS ? ERROR_MORE_DATA : result;
  if (size == 0) {
    buffer[0] = 0;
    return result;
  }
  if (!IsTerminatedStringData(type, reinterpret_cast<const unsigned char*>(buffer), size,
                              capacity, sizeof(Char))) {
    buffer[0] = 0;
    return ERROR_INVALID_DATA;
  }
  return result;
}

}  // namespace

LONG RegistryKey::ReadCheckedString(char* buffer, const char* name, DWORD& size) {
  DWORD capacity = size;
  DWORD type = REG_NONE;
  LONG result = RegQueryValueExA(handle_, name, NULL, &type, reinterpret_cast<BYTE*>(buffer), &size);
  if (buffer == NULL) return result;
  return JudgeStringRead(result, type, buffer, capacity, size);
}

LONG RegistryKey::ReadCheckedWideString(wchar_t* buffer, const wchar_t* name, DWORD& size) {
  DWORD capacity = size;
  DWORD type = REG_NONE;
  LONG result = RegQueryValueExW(handle_, name, NULL, &type, reinterpret_cast<BYTE*>(buffer), &size);
  return JudgeStringRead(result, type, buffer, capacity, size);
}

LONG RegistryKey::WriteTerminatedString(const char* text, const char* name) {
  if (text == NULL) return ERROR_INVALID_PARAMETER;
  DWORD bytes = static_cast<DWORD>(BoundedLength(text, static_cast<size_t>(-1)) + 1);
  return RegSetValueExA(handle_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
}

LONG RegistryKey::DeleteChildKey(const char* name) {
  if (!deleteKeyExLookedUp) {
    HMODULE advapi = GetModuleHandleA("Advapi32.dll");
    if (advapi != NULL) {
      deleteKeyEx = LookUpFunction<RegDeleteKeyExAFn>(advapi, "RegDeleteKeyExA");
    }
    deleteKeyExLookedUp = true;
  }
  if (deleteKeyEx != NULL) return deleteKeyEx(handle_, name, viewBits_, 0);
  return RegDeleteKeyA(handle_, name);
}
