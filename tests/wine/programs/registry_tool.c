/* Sets, reads and deletes registry values with exact bytes and any type,
 * which "reg add" cannot do (a REG_SZ without its terminating zero, a value
 * of size 0, ...). Operations run in the order given:
 *
 *   set   <root\key> <value name> <type number> <hex bytes or "-" for none>
 *   get   <root\key> <value name>      prints "<type> <hex bytes>" or "missing"
 *   getw  <root\key> <value name>      the same, texts as UTF-16 (read by the wide call)
 *   delv  <root\key> <value name>      deletes a value (missing is fine)
 *   delk  <root\key>                   deletes a key and its subtree
 *   mkkey <root\key>                   creates a key
 *   info  <root\key>                   "yes <subkeys> <values>" or "no"
 *
 * root is HKLM or HKCU, the view of the tool's own bitness; HKLM32/HKCU32 and
 * HKLM64/HKCU64 name the 32-bit or the 64-bit view. A value name "@" is the
 * key's default value. Exit code 0 when every operation succeeded; otherwise
 * the failing Win32 error. */
#define _WIN32_WINNT 0x0601
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "hex_bytes.h"
#include "registry_ops.h"

/* The wide form of a value name (NULL for the default value). */
static const WCHAR *WideName(const char *name, WCHAR *wide) {
  if (ValueName(name) == NULL) return NULL;
  MultiByteToWideChar(CP_ACP, 0, name, -1, wide, 1024);
  return wide;
}

static LONG SetValue(const char *keyPath, const char *name, const char *type, const char *hex) {
  static BYTE data[65536];
  static WCHAR wide[65536];
  WCHAR wideName[1024];
  DWORD kind = (DWORD)strtoul(type, NULL, 10);
  int size = strcmp(hex, "-") == 0 ? 0 : DecodeHex(hex, data, sizeof(data));
  HKEY key;
  LONG result = size < 0 ? ERROR_INVALID_PARAMETER : OpenPath(keyPath, KEY_SET_VALUE, 1, &key);
  if (result != ERROR_SUCCESS) return result;
  if (kind == REG_SZ || kind == REG_EXPAND_SZ || kind == REG_MULTI_SZ) {
    /* Texts are stored in their wide form so the bytes are exactly the ones
     * given. The setter counts a terminating zero the caller "forgot" when one
     * follows the data in memory; a non-zero character there keeps a value
     * without its zero as it is. */
    int n = size == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, (const char *)data, size, wide, 65535);
    wide[n] = L'X';
    result = RegSetValueExW(key, WideName(name, wideName), 0, kind,
                            n != 0 ? (const BYTE *)wide : NULL, (DWORD)n * sizeof(WCHAR));
  } else {
    result = RegSetValueExA(key, ValueName(name), 0, kind, size != 0 ? data : NULL, (DWORD)size);
  }
  RegCloseKey(key);
  return result;
}

static LONG GetValue(const char *keyPath, const char *name, int wide) {
  static BYTE data[65536];
  DWORD size = sizeof(data);
  DWORD type = 0;
  HKEY key;
  LONG result = OpenPath(keyPath, KEY_QUERY_VALUE, 0, &key);
  if (result == ERROR_SUCCESS) {
    WCHAR wideName[1024];
    result = wide ? RegQueryValueExW(key, WideName(name, wideName), NULL, &type, data, &size)
                  : RegQueryValueExA(key, ValueName(name), NULL, &type, data, &size);
    RegCloseKey(key);
  }
  if (result == ERROR_FILE_NOT_FOUND) {
    printf("missing\n");
    return ERROR_SUCCESS;
  }
  if (result != ERROR_SUCCESS) return result;
  printf("%lu ", (unsigned long)type);
  WriteHex(stdout, data, size);
  printf("\n");
  return ERROR_SUCCESS;
}

static LONG DeleteValue(const char *keyPath, const char *name) {
  HKEY key;
  LONG result = OpenPath(keyPath, KEY_SET_VALUE, 0, &key);
  if (result == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (result != ERROR_SUCCESS) return result;
  result = RegDeleteValueA(key, ValueName(name));
  RegCloseKey(key);
  return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}

static LONG KeyInfo(const char *keyPath) {
  HKEY key;
  DWORD subkeys = 0;
  DWORD values = 0;
  LONG result = OpenPath(keyPath, KEY_READ, 0, &key);
  if (result == ERROR_SUCCESS) {
    RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL, NULL, NULL);
    RegCloseKey(key);
  }
  if (result == ERROR_SUCCESS) {
    printf("yes %lu %lu\n", (unsigned long)subkeys, (unsigned long)values);
  } else {
    printf("no\n");
  }
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}

int main(int argc, char **argv) {
  int i = 1;
  while (i < argc) {
    const char *op = argv[i];
    LONG result;
    int used;
    if (strcmp(op, "set") == 0 && i + 4 < argc) {
      result = SetValue(argv[i + 1], argv[i + 2], argv[i + 3], argv[i + 4]);
      used = 5;
    } else if ((strcmp(op, "get") == 0 || strcmp(op, "getw") == 0) && i + 2 < argc) {
      result = GetValue(argv[i + 1], argv[i + 2], op[3] == 'w');
      used = 3;
    } else if (strcmp(op, "delv") == 0 && i + 2 < argc) {
      result = DeleteValue(argv[i + 1], argv[i + 2]);
      used = 3;
    } else if (strcmp(op, "delk") == 0 && i + 1 < argc) {
      result = DeleteKey(argv[i + 1]);
      used = 2;
    } else if (strcmp(op, "info") == 0 && i + 1 < argc) {
      result = KeyInfo(argv[i + 1]);
      used = 2;
    } else if (strcmp(op, "mkkey") == 0 && i + 1 < argc) {
      result = MakeKey(argv[i + 1]);
      used = 2;
    } else {
      fprintf(stderr, "registry_tool: bad operation at argument %d\n", i);
      return ERROR_INVALID_PARAMETER;
    }
    if (result != ERROR_SUCCESS) {
      fprintf(stderr, "registry_tool: %s %s failed with %ld\n", op, argv[i + 1], (long)result);
      return (int)result;
    }
    i += used;
  }
  fflush(stdout);
  return 0;
}
