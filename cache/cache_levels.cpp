#include "cache/cache_levels.h"

#include "base/bounded_text.h"
#include "base/product_constants.h"
#include "cache/cache_paths.h"
#include "cache/link_checks.h"
#include "cache/path_identity.h"
#include "diagnostics/diagnostic_log.h"

namespace {

const char kCreateDirectoryOperation[] = "Installer : Wrapper.CreateDirectory ";

// Held levels, filled by whichever thread reaches a level first and never
// emptied. A slot is claimed by an atomic count and published by its ready
// flag, so a reader on the other thread sees only complete entries. A run
// meets four levels, the kit's three and the update service's, and the table
// has room for those alone (each slot holds a whole path); a level beyond it
// stays held, it is only checked again when met again. Plain data: nothing
// global is constructed before the entry.
struct HeldLevel {
  volatile LONG ready;
  HANDLE handle;
  char path[kPathCapacity];
};
const LONG kHeldLevelCapacity = kCacheFolderLevelCount + 1;
HeldLevel heldLevels[kHeldLevelCapacity];
volatile LONG claimedLevels = 0;

void RecordHeldLevel(const char* path, HANDLE handle) {
  LONG slot = InterlockedIncrement(&claimedLevels) - 1;
  if (slot >= kHeldLevelCapacity) return;
  HeldLevel& held = heldLevels[slot];
  BoundedText text(held.path, kPathCapacity);
  if (!text.Assign(path)) return;
  held.handle = handle;
  InterlockedExchange(&heldLevels[slot].ready, 1);
}

// No delete sharing, so the folder cannot be renamed or removed while it is
// held. Reading and writing are shared: saving a file by renaming it into a
// folder opens that folder to add an entry, which must not meet a sharing
// violation here. Listing is a data right on purpose: a handle with attribute
// rights alone takes no part in the sharing checks, and would keep nobody
// from deleting the folder. The attributes serve the identity queries.
HANDLE OpenLevelForHolding(const char* level) {
  return CreateFileA(level, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
}

// The opened level must be the real folder at its name: not a link, and at
// its parent's final path (the parent held since its own check, or the
// user's own folder above the tree) plus its name.
bool IsRealFolderAtItsName(HANDLE handle, DWORD attributes, const char* level) {
  return !HandleIsLink(handle, attributes, level) && IsAtCachePath(handle, level);
}

}  // namespace

bool IsAtCachePath(HANDLE handle, const char* path) {
  size_t slash = BoundedLength(path, kPathCapacity);
  while (slash > 0 && path[slash - 1] != '\\') --slash;
  FixedText<kPathCapacity> folder;
  if (slash < 2 || !folder.AppendN(path, slash - 1)) return false;
  return IsAtIntendedPath(handle, HeldCacheFolder(folder.Text()), folder.Text(),
                          path + slash);
}

HANDLE HeldCacheFolder(const char* folder) {
  LONG count = InterlockedCompareExchange(&claimedLevels, 0, 0);
  if (count > kHeldLevelCapacity) count = kHeldLevelCapacity;
  for (LONG i = 0; i < count; ++i) {
    const HeldLevel& held = heldLevels[i];
    // The paths are composed the same way each time: bytes compare.
    if (held.ready && TextEquals(held.path, folder)) {
      return held.handle;
    }
  }
  return NULL;
}

bool CreateRealFolder(const char* path) {
  // Judged without a trailing backslash, which would look through a link.
  FixedText<kPathCapacity> level;
  size_t length = BoundedLength(path, kPathCapacity);
  if (length > 0 && path[length - 1] == '\\') --length;
  if (!level.AppendN(path, length)) return false;
  if (HeldCacheFolder(level.Text()) != NULL) return true;

  DWORD before = GetFileAttributesA(level.Text());
  if (NameIsLink(level.Text(), before)) RefuseLink(kCreateDirectoryOperation);
  // A level that already exists is the normal case from the second run on.
  if (!CreateDirectoryA(path, NULL) && before == INVALID_FILE_ATTRIBUTES) {
    // A name that reads as nothing yet cannot be made: under Wine a link to a
    // target that does not exist (yet) reads so. Another run making the folder
    // meanwhile leaves a real folder, which reads as one now.
    bool exists = GetLastError() == ERROR_ALREADY_EXISTS;
    if (exists && GetFileAttributesA(level.Text()) == INVALID_FILE_ATTRIBUTES) {
      RefuseLink(kCreateDirectoryOperation);
    }
  }

  HANDLE handle = OpenLevelForHolding(level.Text());
  if (handle == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_SHARING_VIOLATION) FatalApiError(kCreateDirectoryOperation);
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    CloseHandle(handle);
    return false;
  }
  // Swapped for a link between the name's check and the open.
  if (!IsRealFolderAtItsName(handle, info.dwFileAttributes, level.Text())) {
    RefuseLink(kCreateDirectoryOperation);
  }
  // Held until the process ends: deliberately never closed.
  RecordHeldLevel(level.Text(), handle);
  return true;
}

bool CreateRealFolderLevels(const char* folder, size_t start) {
  FixedText<kPathCapacity> level;
  size_t length = BoundedLength(folder, kPathCapacity);
  for (size_t i = start + 1; i < length; ++i) {
    if (folder[i] != '\\') continue;
    level.Clear();
    level.AppendN(folder, i + 1);
    if (!CreateRealFolder(level.Text())) return false;
  }
  return true;
}
