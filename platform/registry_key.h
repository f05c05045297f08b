// Owner of at most one open registry key.
#ifndef WYK_PLATFORM_REGISTRY_KEY_H
#define WYK_PLATFORM_REGISTRY_KEY_H

#include <windows.h>

class RegistryKey {
 public:
  RegistryKey() : handle_(NULL), viewBits_(0) {}
  ~RegistryKey() { Close(); }

  // Opens parent\name. On failure the key held so far stays held.
  LONG Open(HKEY parent, const char* name, REGSAM access);
  LONG Close();

  // Reads a string value. size: in, the buffer's capacity in bytes; out, the
  // value's size. A value that is not a complete text (wrong type, no
  // terminating zero, too large) leaves the buffer empty and gives
  // ERROR_INVALID_DATA. buffer may be null to ask for the size only.
  LONG ReadCheckedString(char* buffer, const char* name, DWORD& size);

  // The same through the wide call, which never turns a letter into a
  // look-alike; size counts bytes, buffer must not be null.
  LONG ReadCheckedWideString(wchar_t* buffer, const wchar_t* name, DWORD& size);

  // Stores text as REG_SZ with its terminating zero.
  LONG WriteTerminatedString(const char* text, const char* name);

  // Deletes a subkey of the held key in the same registry view.
  LONG DeleteChildKey(const char* name);

  HKEY Handle() const { return handle_; }

 private:
  RegistryKey(const RegistryKey&);
  RegistryKey& operator=(const RegistryKey&);

  HKEY handle_;
  DWORD viewBits_;
};

#endif
