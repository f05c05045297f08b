/* Registry paths and key operations of the test programs (C and C++), in
 * the registry tool's notation (see registry_tool.c). */
#ifndef WYK_TESTS_REGISTRY_OPS_H
#define WYK_TESTS_REGISTRY_OPS_H

#include <windows.h>
#include <string.h>

/* The registry view of the operation in progress (0: the program's own). */
static REGSAM view;

static inline HKEY SplitRoot(const char *path, const char **rest) {
  HKEY root;
  if (strncmp(path, "HKLM", 4) == 0) {
    root = HKEY_LOCAL_MACHINE;
  } else if (strncmp(path, "HKCU", 4) == 0) {
    root = HKEY_CURRENT_USER;
  } else {
    return NULL;
  }
  path += 4;
  view = 0;
  if (strncmp(path, "32", 2) == 0 || strncmp(path, "64", 2) == 0) {
    view = path[0] == '3' ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    path += 2;
  }
  if (*path != '\\') return NULL;
  *rest = path + 1;
  return root;
}

static inline const char *ValueName(const char *name) { return strcmp(name, "@") == 0 ? NULL : name; }

/* Opens the key of a path (with create, creates it if need be). */
static inline LONG OpenPath(const char *keyPath, REGSAM access, int create, HKEY *key) {
  const char *rest;
  HKEY root = SplitRoot(keyPath, &rest);
  if (root == NULL) return ERROR_INVALID_PARAMETER;
  return create ? RegCreateKeyExA(root, rest, 0, NULL, 0, access | view, NULL, key, NULL)
                : RegOpenKeyExA(root, rest, 0, access | view, key);
}

static inline LONG DeleteKey(const char *keyPath) {
  const char *rest;
  HKEY root = SplitRoot(keyPath, &rest);
  HKEY key;
  LONG result;
  if (root == NULL) return ERROR_INVALID_PARAMETER;
  result = RegOpenKeyExA(root, rest, 0, KEY_ALL_ACCESS | view, &key);
  if (result == ERROR_SUCCESS) {
    result = RegDeleteTreeA(key, NULL);
    RegCloseKey(key);
  }
  if (result == ERROR_SUCCESS) result = RegDeleteKeyExA(root, rest, view, 0);
  return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}

static inline LONG MakeKey(const char *keyPath) {
  HKEY key;
  LONG result = OpenPath(keyPath, KEY_READ, 1, &key);
  if (result == ERROR_SUCCESS) RegCloseKey(key);
  return result;
}

#endif
