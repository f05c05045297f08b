#include "platform/redirection_rules.h"

namespace {

// Below the system folder but never redirected; the platform keeps these for
// both kinds of process. "drivers" itself is redirected, only its "etc" is not.
const char* const kExemptFolders[] = {"catroot", "catroot2", "drivers\\etc",
                                      "driverstore", "logfiles", "spool"};

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// What follows folder in path when path is folder itself or lies below it
// (at the terminating zero or at a backslash); null otherwise, so that
// "System32x" is not taken for a place below "System32".
const char* RestBelowFolder(const char* path, const char* folder) {
  if (folder[0] == '\0') return 0;
  while (*folder != '\0') {
    if (LowerAscii(*path) != LowerAscii(*folder)) return 0;
    ++path;
    ++folder;
  }
  return (*path == '\0' || *path == '\\') ? path : 0;
}

bool IsExemptFromRedirection(const char* rest) {
  if (rest[0] != '\\') return false;
  for (size_t i = 0; i < sizeof(kExemptFolders) / sizeof(kExemptFolders[0]); ++i) {
    if (RestBelowFolder(rest + 1, kExemptFolders[i]) != 0) return true;
  }
  return false;
}

}  // namespace

bool ComposeSharedPathForm(BoundedText& out, const char* path, const char* systemFolder,
                           const char* wow64SystemFolder, bool underWow64) {
  out.Clear();
  const char* rest = underWow64 ? RestBelowFolder(path, systemFolder) : 0;
  if (rest == 0 || IsExemptFromRedirection(rest)) {
    out.Assign(path);
  } else {
    out.Assign(wow64SystemFolder);
    out.Append(rest);
  }
  if (out.Fits()) return true;
  out.Clear();
  return false;
}
