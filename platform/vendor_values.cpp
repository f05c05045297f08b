#include "platform/vendor_values.h"

#include "base/bounded_text.h"
#include "base/folder_text.h"
#include "base/product_constants.h"
#include "platform/registry_key.h"

namespace {

const DWORD kReadWrite = KEY_READ | KEY_WRITE;  // 0x2001F

}  // namespace

int ReadVendorString(const char* name, char* buffer, size_t capacity) {
  RegistryKey software;
  if (software.Open(HKEY_LOCAL_MACHINE, "Software", KEY_READ) != ERROR_SUCCESS) return 0;
  RegistryKey vendor;
  if (vendor.Open(software.Handle(), "Orvale", KEY_READ) != ERROR_SUCCESS) return 0;
  DWORD size = static_cast<DWORD>(capacity);
  if (vendor.ReadCheckedString(buffer, name, size) != ERROR_SUCCESS) return 0;
  if (size == 0) return 0;
  return buffer[0] != '\0' ? 1 : 0;
}

int WriteVendorString(const char* name, const char* text) {
  RegistryKey software;
  if (software.Open(HKEY_LOCAL_MACHINE, "Software", KEY_READ) != ERROR_SUCCESS) return 0;
  RegistryKey vendor;
  if (vendor.Open(software.Handle(), "Orvale", kReadWrite) != ERROR_SUCCESS) return 0;
  if (text != NULL) {
    vendor.WriteTerminatedString(text, name);
  } else {
    RegDeleteValueA(vendor.Handle(), name);
    DWORD subkeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyA(vendor.Handle(), NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL,
                         NULL, NULL, NULL) == ERROR_SUCCESS &&
        subkeys == 0 && values == 0) {
      software.DeleteChildKey("Orvale");
    }
  }
  vendor.Close();
  software.Close();
  return 1;
}

int ClearInstallStatus() {
  WriteVendorString("InstallStatus", NULL);
  return 1;
}

int ReadDevKitHome(char* buffer, size_t capacity) {
  RegistryKey kit;
  if (kit.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvale\\Tavro Development Kit\\1.7.0", KEY_READ) !=
      ERROR_SUCCESS) {
    return 0;
  }
  // The wide value: the 8-bit call would turn a letter outside the ANSI code
  // page into a look-alike ("L" for an L with stroke), naming another folder
  // that any user may have made.
  wchar_t wide[kLineCapacity];
  DWORD size = sizeof(wide);
  BoundedText home(buffer, capacity);
  return kit.ReadCheckedWideString(wide, L"TavroHome", size) == ERROR_SUCCESS &&
                 FolderToAnsiText(wide, home) == kFolderTextReady
             ? 1
             : 0;
}

int IsRuntimeRegistered() {
  RegistryKey runtime;
  return runtime.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvale\\Tavro Runtime Environment\\1.7.0",
                      KEY_READ) == ERROR_SUCCESS
             ? 1
             : 0;
}

int ReadUpdateServiceVersion(char* buffer, size_t capacity) {
  HKEY key = NULL;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvale\\Auto Update", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return 0;
  }
  DWORD size = static_cast<DWORD>(capacity);
  LONG result = RegQueryValueExA(key, "AUVersion", NULL, NULL, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS ? 1 : 0;
}
