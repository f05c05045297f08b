#include "base/folder_rules.h"

bool IsAbsoluteFolder(const char* folder) {
  char first = folder[0];
  bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
  if (letter) return folder[1] == ':' && folder[2] == '\\';
  return first == '\\' && folder[1] == '\\' && folder[2] != '\0' && folder[2] != '\\';
}
