#include "cache/link_checks.h"

#include "base/exit_codes.h"
#include "diagnostics/diagnostic_log.h"
#include "cache/link_rules.h"
#include "platform/system_library.h"

namespace {

// Present from Vista on; looked up, so the program still starts on XP.
typedef BOOL(WINAPI* GetFileInformationByHandleExFn)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID,
                                                    DWORD);

bool IsReparsePoint(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The reparse tag of the directory entry at path (XP included), or 0.
unsigned long EntryTag(const char* path) {
  // The field is set only for a reparse point, and not at all by Wine.
  WIN32_FIND_DATAA entry;
  ZeroMemory(&entry, sizeof(entry));
  HANDLE search = FindFirstFileA(path, &entry);
  if (search == INVALID_HANDLE_VALUE) return 0;
  FindClose(search);
  return entry.dwReserved0;
}

}  // namespace

// Under Wine a link cannot be taken away by itself: removing or deleting it
// through any platform call removes what it points to. So a planted link is
// refused, never touched, and the run ends before anything is written.
void RefuseLink(const char* operation) {
  FatalError(kExitFatalPlantedLink, operation);
}

bool NameIsLink(const char* path, DWORD attributes) {
  return IsReparsePoint(attributes) && IsLinkReparseTag(EntryTag(path));
}

bool HandleIsLink(HANDLE handle, DWORD attributes, const char* path) {
  if (!IsReparsePoint(attributes)) return false;
  GetFileInformationByHandleExFn query = LookUpFunction<GetFileInformationByHandleExFn>(
      GetModuleHandleA("kernel32.dll"), "GetFileInformationByHandleEx");
  // The name is held by the handle (opened without delete sharing, or its
  // folder held so), so its entry is the handle's.
  if (query == NULL) return IsLinkReparseTag(EntryTag(path));
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (!query(handle, FileAttributeTagInfo, &tag, sizeof(tag))) tag.ReparseTag = 0;
  return IsLinkReparseTag(tag.ReparseTag);
}
