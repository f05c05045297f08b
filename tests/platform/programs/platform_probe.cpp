// Exposes the platform services, follow-on installs and diagnostics of the
// bootstrapper as command-line verbs, so that the Wine tests can call each one
// on its own against the real API.
//
//   platform_probe.exe <verb> <arguments...> [+ <verb> <arguments...>]...
//
// Verbs run in the order given, in one process. Each prints one line
// "<verb>: key=value ..." to standard output; texts are printed as hex bytes so
// they can be compared byte for byte. Any text argument may be written as
// "hex:<bytes>" to pass blanks, quotes or an empty text unchanged.
#include <windows.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <winternl.h>

#include "base/bounded_text.h"
#include "base/folder_text.h"
#include "base/product_constants.h"
#include "bootstrap/run_bootstrap.h"
#include "diagnostics/diagnostic_log.h"
#include "followon/public_runtime.h"
#include "followon/update_service.h"
#include "platform/system_info.h"
#include "payload/cabinet_thread.h"
#include "cache/cache_folder.h"
#include "payload/extract_resource.h"
#include "cache/staged_file.h"
#include "platform/installer_engine.h"
#include "platform/process_runner.h"
#include "platform/registry_key.h"
#include "platform/system_library.h"
#include "platform/vendor_values.h"
#include "tests/wine/programs/hex_bytes.h"

// ---------------------------------------------------------------------------
// Replaced import slots: a definition of a function's import slot here wins
// over the library's, so the probe decides what the product's call does.
//   - a settable clock: the product reads the time through the runtime
//     library's _time64; "fake-time" fixes the moment that the log stamp shows;
//   - "fail-file-information" names the how-many-th file identity query from
//     then on that fails, and with which error;
//   - "stage-cabinets-slowly" makes every write of any other thread wait first,
//     so the cabinet thread is still writing when the main thread fails;
//   - "fail-roaming-folder" makes the roaming folder lookup fail the way an
//     HRESULT call may, leaving the last error alone; "fake-folder" makes a
//     folder lookup succeed with a given text, or without writing ("-");
//   - the file opening refuses what Windows refuses and Wine lets through:
//     an open for writing of a read-only file, and a creation anew over a
//     hidden or system file that does not name those attributes (error 5);
//   - a message box on a window station without WSF_VISIBLE (a service's)
//     never returns on Windows, as nobody can close it; here it ends the
//     process with kBoxNobodyCanClose at once, so a test sees the call;
//   - "as-xp" hides the calls that XP lacks from run-time look-ups;
//   - "reparse-point" shows a name as Windows shows a reparse point, which
//     Wine does not: its directory entry gives the tag and its opened handle
//     the attribute. With a link's tag and its target, an open without
//     FILE_FLAG_OPEN_REPARSE_POINT follows the link, a new file included, as
//     Windows does. Until the name is first opened, its attributes show no
//     reparse point: a link put there after the name's check.

namespace {
const UINT kBoxNobodyCanClose = 89;
bool fakeTimeSet = false;
__time64_t fakeTime = 0;
int identityCallsUntilFailure = 0;
DWORD identityFailureError = 0;
DWORD slowWriteMs = 0;
DWORD slowWriteSparedThread = 0;
bool roamingFolderFails = false;
int fakedFolder = -1;
wchar_t fakedFolderText[MAX_PATH];
bool fakedFolderWritten = false;
bool asXp = false;
char reparseName[MAX_PATH];
DWORD reparseTag = 0;
const char* reparseTarget = NULL;  // "-": none
DWORD reparseFileIndex = 0;        // of the file its handles open, once opened

// The library's own function. Replacing the slot also drops the import, so
// the library may not be mapped yet.
template <typename Fn>
Fn Real(const char* library, const char* name) {
  HMODULE module = GetModuleHandleA(library);
  if (module == NULL) module = LoadLibraryA(library);
  FARPROC function = module != NULL ? GetProcAddress(module, name) : NULL;
  if (function == NULL) exit(98);
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(function));
}
}  // namespace

// The library's own function <name>, of its declared type.
#define WYK_REAL(library, name) Real<decltype(&name)>(library, #name)

// Fills the import slot of <name> with a replacement of the same type. The
// linker's name of the slot is "__imp_<name>" on x64; on x86 it carries the
// leading underscore of C names and, for WINAPI functions, the size of the
// arguments ("@<bytes>"), which no C++ name can spell.
#if defined(_WIN64)
#define WYK_REPLACE(name, x86_size, replacement) \
  decltype(&name) probe_##name##_slot __asm__("__imp_" #name) = replacement
#else
#define WYK_REPLACE(name, x86_size, replacement) \
  decltype(&name) probe_##name##_slot __asm__("__imp__" #name x86_size) = replacement
#endif

extern "C" NTSTATUS NTAPI LdrGetProcedureAddress(HMODULE, const ANSI_STRING*, ULONG, PVOID*);

extern "C" {
static __time64_t __cdecl ProbeTime64(__time64_t* out) {
  __time64_t now = fakeTimeSet ? fakeTime : WYK_REAL("msvcrt.dll", _time64)(NULL);
  if (out != NULL) *out = now;
  return now;
}

static BOOL WINAPI ProbeFileInformation(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
  if (identityCallsUntilFailure > 0 && --identityCallsUntilFailure == 0) {
    SetLastError(identityFailureError);
    return FALSE;
  }
  BOOL done = WYK_REAL("kernel32.dll", GetFileInformationByHandle)(file, info);
  if (done && reparseFileIndex != 0 && info->nFileIndexLow == reparseFileIndex) {
    info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  }
  return done;
}

static BOOL WINAPI ProbeWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                                  LPOVERLAPPED overlapped) {
  if (slowWriteMs != 0 && GetCurrentThreadId() != slowWriteSparedThread) Sleep(slowWriteMs);
  return WYK_REAL("kernel32.dll", WriteFile)(file, data, size, written, overlapped);
}

static HANDLE WINAPI ProbeCreateFile(LPCSTR path, DWORD access, DWORD share,
                                     LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                     DWORD flags, HANDLE model) {
  DWORD existing = GetFileAttributesA(path);
  bool isFile = existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) == 0;
  bool writes = (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
  bool anew = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  DWORD hiddenOrSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (isFile && disposition != CREATE_NEW &&
      (((existing & FILE_ATTRIBUTE_READONLY) != 0 && (writes || anew)) ||
       (anew && (existing & hiddenOrSystem & ~flags) != 0))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  decltype(&CreateFileA) open = WYK_REAL("kernel32.dll", CreateFileA);
  if (reparseTag == 0 || lstrcmpiA(path, reparseName) != 0) {
    return open(path, access, share, security, disposition, flags, model);
  }
  bool isLink = (reparseTag & 0x20000000UL) != 0;
  if (isLink && (flags & FILE_FLAG_OPEN_REPARSE_POINT) == 0 && strcmp(reparseTarget, "-") != 0) {
    return open(reparseTarget, access, share, security, disposition, flags, model);
  }
  HANDLE handle = open(path, access, share, security, disposition, flags, model);
  BY_HANDLE_FILE_INFORMATION info;
  if (handle != INVALID_HANDLE_VALUE &&
      WYK_REAL("kernel32.dll", GetFileInformationByHandle)(handle, &info)) {
    reparseFileIndex = info.nFileIndexLow;
  }
  return handle;
}

static FARPROC WINAPI ProbeGetProcAddress(HMODULE module, LPCSTR name) {
  const char* kNewerThanXp[] = {"GetFileInformationByHandleEx", "GetFinalPathNameByHandleW",
                                "SetFileInformationByHandle"};
  bool byName = reinterpret_cast<ULONG_PTR>(name) > 0xFFFF;
  for (size_t i = 0; asXp && byName && i < 3; ++i) {
    if (strcmp(name, kNewerThanXp[i]) == 0) {
      SetLastError(ERROR_PROC_NOT_FOUND);
      return NULL;
    }
  }
  ANSI_STRING text = {0, 0, const_cast<char*>(name)};
  if (byName) text.Length = text.MaximumLength = static_cast<USHORT>(strlen(name));
  PVOID found = NULL;
  ULONG ordinal = byName ? 0 : static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(name));
  if (LdrGetProcedureAddress(module, byName ? &text : NULL, ordinal, &found) != 0) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return NULL;
  }
  return reinterpret_cast<FARPROC>(found);
}

static DWORD WINAPI ProbeGetFileAttributes(LPCSTR path) {
  DWORD attributes = WYK_REAL("kernel32.dll", GetFileAttributesA)(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && reparseTag != 0 && reparseFileIndex == 0 &&
      lstrcmpiA(path, reparseName) == 0) {
    attributes &= ~FILE_ATTRIBUTE_REPARSE_POINT;
  }
  return attributes;
}

static HANDLE WINAPI ProbeFindFirstFile(LPCSTR path, LPWIN32_FIND_DATAA entry) {
  HANDLE search = WYK_REAL("kernel32.dll", FindFirstFileA)(path, entry);
  if (search != INVALID_HANDLE_VALUE && reparseFileIndex != 0 && lstrcmpiA(path, reparseName) == 0) {
    entry->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    entry->dwReserved0 = reparseTag;
  }
  return search;
}

static int WINAPI ProbeMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  USEROBJECTFLAGS flags;
  if (GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof(flags),
                                NULL) &&
      (flags.dwFlags & WSF_VISIBLE) == 0) {
    fflush(stdout);
    ExitProcess(kBoxNobodyCanClose);
  }
  return WYK_REAL("user32.dll", MessageBoxA)(owner, text, caption, style);
}

static HRESULT WINAPI ProbeGetFolderPath(HWND owner, int folder, HANDLE token, DWORD flags,
                                        LPWSTR path) {
  if (roamingFolderFails && folder == CSIDL_APPDATA) return E_FAIL;
  if (folder == fakedFolder) {
    if (fakedFolderWritten) memcpy(path, fakedFolderText, sizeof(fakedFolderText));
    return S_OK;
  }
  return WYK_REAL("shell32.dll", SHGetFolderPathW)(owner, folder, token, flags, path);
}

WYK_REPLACE(_time64, "", ProbeTime64);
WYK_REPLACE(GetFileInformationByHandle, "@8", ProbeFileInformation);
WYK_REPLACE(CreateFileA, "@28", ProbeCreateFile);
WYK_REPLACE(WriteFile, "@20", ProbeWriteFile);
WYK_REPLACE(MessageBoxA, "@16", ProbeMessageBox);
WYK_REPLACE(GetProcAddress, "@8", ProbeGetProcAddress);
WYK_REPLACE(GetFileAttributesA, "@4", ProbeGetFileAttributes);
WYK_REPLACE(FindFirstFileA, "@8", ProbeFindFirstFile);
WYK_REPLACE(SHGetFolderPathW, "@20", ProbeGetFolderPath);
}

namespace {

// ---------------------------------------------------------------------------
// Arguments and output

// Text arguments: "hex:<bytes>" is decoded (into a static pool), anything else
// is taken as it is.
char argumentPool[65536];
size_t argumentPoolUsed = 0;

const char* Text(const char* argument) {
  if (strncmp(argument, "hex:", 4) != 0) return argument;
  char* out = argumentPool + argumentPoolUsed;
  size_t room = sizeof(argumentPool) - argumentPoolUsed - 1;
  int n = DecodeHex(argument + 4, reinterpret_cast<unsigned char*>(out), room);
  if (n < 0) {
    fprintf(stderr, "platform_probe: bad hex argument %s\n", argument);
    exit(90);
  }
  out[n] = '\0';
  argumentPoolUsed += static_cast<size_t>(n) + 1;
  return out;
}

unsigned long Number(const char* argument) { return strtoul(argument, NULL, 0); }

void PrintHex(const char* key, const void* data, size_t n) {
  printf(" %s=", key);
  if (n == 0) printf("-");
  WriteHex(stdout, data, n);
}

void PrintTextHex(const char* key, const char* text) { PrintHex(key, text, strlen(text)); }

// ---------------------------------------------------------------------------
// The registry as the tests set it up and read it: values of exact bytes and
// any type, which "reg add" cannot store (a REG_SZ without its terminating
// zero, a value of size 0, ...). A path is "<root>\\<key>", root HKLM or HKCU
// in the probe's own view, HKLM32/HKCU32 or HKLM64/HKCU64 in the 32- or the
// 64-bit one; the value name "@" is the key's default value. An operation that
// fails ends the probe with its error code.

REGSAM view;  // of the path split last

void Check(LONG result, const char* operation, const char* path) {
  if (result == ERROR_SUCCESS) return;
  fprintf(stderr, "platform_probe: %s %s failed with %ld\n", operation, path, result);
  exit(static_cast<int>(result));
}

HKEY SplitRoot(const char* argument, const char** rest) {
  const char* path = argument;
  HKEY root = strncmp(path, "HKLM", 4) == 0   ? HKEY_LOCAL_MACHINE
              : strncmp(path, "HKCU", 4) == 0 ? HKEY_CURRENT_USER
                                              : NULL;
  path += 4;
  view = 0;
  if (root != NULL && (strncmp(path, "32", 2) == 0 || strncmp(path, "64", 2) == 0)) {
    view = path[0] == '3' ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    path += 2;
  }
  if (root == NULL || *path != '\\') {
    fprintf(stderr, "platform_probe: bad registry path %s\n", argument);
    exit(91);
  }
  *rest = path + 1;
  return root;
}

const char* ValueName(const char* name) { return strcmp(name, "@") == 0 ? NULL : name; }

// Opens a registry path argument for reading.
LONG OpenKey(RegistryKey& key, const char* argument) {
  const char* rest;
  HKEY root = SplitRoot(Text(argument), &rest);
  return key.Open(root, rest, KEY_READ);
}

// Opens (with create, creates) the key of a path; a missing key is fine when
// missingIsFine, and then gives NULL.
HKEY OpenPath(const char* path, REGSAM access, bool create, bool missingIsFine = false) {
  const char* rest;
  HKEY root = SplitRoot(path, &rest);
  HKEY key = NULL;
  LONG result = create ? RegCreateKeyExA(root, rest, 0, NULL, 0, access | view, NULL, &key, NULL)
                       : RegOpenKeyExA(root, rest, 0, access | view, &key);
  if (result == ERROR_FILE_NOT_FOUND && missingIsFine) return NULL;
  Check(result, "open", path);
  return key;
}

// set <path> <value name> <type number> <hex bytes, or "-" for none>
void SetValueVerb(char** a) {
  static BYTE data[65536];
  static WCHAR wide[65536 + 1];  // one character per byte at most, and the guard
  WCHAR name[1024];
  DWORD kind = Number(a[2]);
  int size = strcmp(a[3], "-") == 0 ? 0 : DecodeHex(a[3], data, sizeof(data));
  if (size < 0) exit(90);
  HKEY key = OpenPath(a[0], KEY_SET_VALUE, true);
  LONG result;
  if (kind == REG_SZ || kind == REG_EXPAND_SZ || kind == REG_MULTI_SZ) {
    // Texts are stored in their wide form, so the bytes are exactly the ones
    // given. The setter counts a terminating zero the caller "forgot" when one
    // follows the data in memory; a non-zero character there keeps a value
    // without its zero as it is.
    int n = size == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, (const char*)data, size, wide, 65536);
    if (n == 0 && size != 0) exit(90);  // never store an empty text in place of one not converted
    wide[n] = L'X';
    MultiByteToWideChar(CP_ACP, 0, a[1], -1, name, 1024);
    result = RegSetValueExW(key, ValueName(a[1]) != NULL ? name : NULL, 0, kind,
                            n != 0 ? reinterpret_cast<const BYTE*>(wide) : NULL,
                            static_cast<DWORD>(n) * sizeof(WCHAR));
  } else {
    result = RegSetValueExA(key, ValueName(a[1]), 0, kind, size != 0 ? data : NULL, size);
  }
  RegCloseKey(key);
  Check(result, "set", a[0]);
}

// get|getw <path> <value name>: found=0, or found=1 type=<number> data=<hex>;
// getw reads by the wide call, so texts come as UTF-16.
template <bool kWide>
void GetValueVerb(char** a) {
  static BYTE data[65536];
  DWORD size = sizeof(data);
  DWORD type = 0;
  WCHAR name[1024];
  MultiByteToWideChar(CP_ACP, 0, a[1], -1, name, 1024);
  HKEY key = OpenPath(a[0], KEY_QUERY_VALUE, false, true);
  LONG result = key == NULL ? ERROR_FILE_NOT_FOUND
                : kWide ? RegQueryValueExW(key, ValueName(a[1]) != NULL ? name : NULL, NULL, &type,
                                           data, &size)
                        : RegQueryValueExA(key, ValueName(a[1]), NULL, &type, data, &size);
  if (key != NULL) RegCloseKey(key);
  printf(" found=%d", result == ERROR_SUCCESS ? 1 : 0);
  if (result == ERROR_FILE_NOT_FOUND) return;
  Check(result, "get", a[0]);
  printf(" type=%lu", type);
  PrintHex("data", data, size);
}

// delv <path> <value name>; a missing value or key is fine.
void DeleteValueVerb(char** a) {
  HKEY key = OpenPath(a[0], KEY_SET_VALUE, false, true);
  if (key == NULL) return;
  LONG result = RegDeleteValueA(key, ValueName(a[1]));
  RegCloseKey(key);
  if (result != ERROR_FILE_NOT_FOUND) Check(result, "delv", a[0]);
}

// delk <path>: the key and its subtree; a missing key is fine.
void DeleteKeyVerb(char** a) {
  HKEY key = OpenPath(a[0], KEY_ALL_ACCESS, false, true);
  if (key == NULL) return;
  Check(RegDeleteTreeA(key, NULL), "delk", a[0]);
  RegCloseKey(key);
  const char* rest;
  HKEY root = SplitRoot(a[0], &rest);
  Check(RegDeleteKeyExA(root, rest, view, 0), "delk", a[0]);
}

void MakeKeyVerb(char** a) { RegCloseKey(OpenPath(a[0], KEY_READ, true)); }

// info <path>: found=0, or found=1 subkeys=<count> values=<count>
void KeyInfoVerb(char** a) {
  DWORD subkeys = 0;
  DWORD values = 0;
  HKEY key = OpenPath(a[0], KEY_READ, false, true);
  printf(" found=%d", key != NULL ? 1 : 0);
  if (key == NULL) return;
  RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, &values, NULL, NULL, NULL, NULL);
  RegCloseKey(key);
  printf(" subkeys=%lu values=%lu", subkeys, values);
}

// ---------------------------------------------------------------------------
// Registry access and vendor values

// A buffer with guard bytes behind its capacity, to see that nothing is
// written past it.
const unsigned char kGuard = 0xA5;
const size_t kGuardBytes = 64;
char guarded[8192 + kGuardBytes];

char* GuardedBuffer(size_t capacity) {
  if (capacity > 8192) exit(93);
  memset(guarded, 0xCC, capacity);
  memset(guarded + capacity, kGuard, kGuardBytes);
  return guarded;
}

bool GuardIntact(size_t capacity) {
  for (size_t i = 0; i < kGuardBytes; ++i) {
    if (static_cast<unsigned char>(guarded[capacity + i]) != kGuard) return false;
  }
  return true;
}

// Prints the buffer's text (up to its first zero within the capacity).
void PrintBufferText(const char* buffer, size_t capacity) {
  size_t n = 0;
  while (n < capacity && buffer[n] != '\0') ++n;
  PrintHex("text", buffer, n);
  printf(" terminated=%d", n < capacity ? 1 : 0);
}

// A read into the guarded buffer: its result, its text and whether the guard held.
void PrintGuardedRead(long result, const char* buffer, size_t capacity) {
  printf(" result=%ld", result);
  PrintBufferText(buffer, capacity);
  printf(" guard=%s", GuardIntact(capacity) ? "ok" : "broken");
}

void ReadVendorStringVerb(char** a) {
  size_t capacity = Number(a[1]);
  char* buffer = GuardedBuffer(capacity);
  buffer[0] = '\0';  // the caller empties the buffer first
  PrintGuardedRead(ReadVendorString(Text(a[0]), buffer, capacity), buffer, capacity);
}

// read-checked-string / query-string-size <path> <value name> <capacity>: the
// checked read into the guarded buffer, or with no buffer at all (a size query).
template <bool kBuffer>
void CheckedStringVerb(char** a) {
  RegistryKey key;
  LONG opened = OpenKey(key, a[0]);
  printf(" open=%ld", opened);
  if (opened != ERROR_SUCCESS) return;
  size_t capacity = Number(a[2]);
  char* buffer = kBuffer ? GuardedBuffer(capacity) : NULL;
  DWORD size = static_cast<DWORD>(capacity);
  LONG result = key.ReadCheckedString(buffer, ValueName(Text(a[1])), size);
  if (kBuffer) {
    PrintGuardedRead(result, buffer, capacity);
  } else {
    printf(" result=%ld", result);
  }
  printf(" size=%lu", size);
}

// Opens <first>, then <second> on the same wrapper, then reads <value> through
// whatever the wrapper holds.
void OpenTwice(char** a) {
  RegistryKey key;
  LONG first = OpenKey(key, a[0]);
  HKEY held = key.Handle();
  LONG second = OpenKey(key, a[1]);
  char buffer[1024];
  DWORD size = sizeof(buffer);
  LONG read = key.ReadCheckedString(buffer, Text(a[2]), size);
  printf(" first=%ld second=%ld same_handle=%d read=%ld", first, second,
         key.Handle() == held ? 1 : 0, read);
  PrintBufferText(buffer, sizeof(buffer));
  printf(" close=%ld", key.Close());
}

void WriteNullText(char**) {
  RegistryKey key;
  LONG opened = key.Open(HKEY_CURRENT_USER, "Software", KEY_READ | KEY_WRITE);
  printf(" open=%ld result=%ld", opened, key.WriteTerminatedString(NULL, "WykProbeNull"));
}

// A value read into the guarded buffer, prepared as the product's caller does:
// only emptied, or zeroed whole (a value without a zero must then find zeros).
template <int (*Read)(char*, size_t), bool kZeroed>
void GuardedValueVerb(char** a) {
  size_t capacity = Number(a[0]);
  char* buffer = GuardedBuffer(capacity);
  memset(buffer, 0, kZeroed ? capacity : 1);
  PrintGuardedRead(Read(buffer, capacity), buffer, capacity);
}

void LocateMsiexecVerb(char** a) {
  size_t capacity = Number(a[0]);
  BoundedText path(GuardedBuffer(capacity), capacity);
  PrintGuardedRead(LocateMsiexec(path), path.Text(), capacity);
}

int NeedsOldUpdateService() { return NeedsOldUpdateServiceRemoval() ? 1 : 0; }

// ---------------------------------------------------------------------------
// Child processes

void RunAndWaitVerb(char** a) {
  char line[1024];
  FixedText<1024> text;
  if (!text.Assign(Text(a[0]))) exit(94);
  memcpy(line, text.Text(), text.Length() + 1);
  DWORD begin = GetTickCount();
  DWORD result = static_cast<DWORD>(ExitCodeOfEngineRun(RunAndWait(line)));
  DWORD elapsed = GetTickCount() - begin;
  printf(" result=%lu elapsed_ms=%lu", result, elapsed);
}

// The highest value among many fresh handles. Handles are given out from the
// lowest free slot, so every handle left open in between (filling a gap or
// not) raises the highest value of the same number of fresh ones.
void HandleSlotsVerb(char**) {
  static HANDLE fresh[256];
  ULONG_PTR highest = 0;
  for (int i = 0; i < 256; ++i) {
    fresh[i] = CreateEventA(NULL, TRUE, FALSE, NULL);
    ULONG_PTR value = reinterpret_cast<ULONG_PTR>(fresh[i]);
    if (value > highest) highest = value;
  }
  for (int i = 255; i >= 0; --i) CloseHandle(fresh[i]);
  printf(" highest=%lu", static_cast<unsigned long>(highest));
}

// The pumping wait, with messages arriving from a second thread.
LONG dispatchedA = 0;
LONG dispatchedW = 0;
DWORD sleepOnFirstMessage = 0;

LRESULT CALLBACK AnsiWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_APP) {
    if (InterlockedIncrement(&dispatchedA) == 1 && sleepOnFirstMessage != 0) {
      Sleep(sleepOnFirstMessage);
    }
    return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

LRESULT CALLBACK WideWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_APP) {
    InterlockedIncrement(&dispatchedW);
    return 0;
  }
  return DefWindowProcW(window, message, w, l);
}

struct PosterPlan {
  DWORD mainThread;
  HWND ansiWindow;
  HWND wideWindow;
  bool burst;
};

DWORD WINAPI Poster(LPVOID parameter) {
  PosterPlan* plan = static_cast<PosterPlan*>(parameter);
  Sleep(300);
  if (plan->burst) {
    for (int i = 0; i < 50; ++i) PostMessageA(plan->ansiWindow, WM_APP, i, 0);
    return 0;
  }
  PostMessageA(plan->ansiWindow, WM_APP, 0, 0);
  PostMessageW(plan->wideWindow, WM_APP, 0, 0);
  PostThreadMessageA(plan->mainThread, WM_APP + 1, 0, 0);  // no window: consumed, not dispatched
  PostThreadMessageA(plan->mainThread, WM_QUIT, 0, 0);
  Sleep(300);
  PostMessageA(plan->ansiWindow, WM_APP, 1, 0);  // the wait goes on after the quit message
  return 0;
}

// run-and-wait-pumping <application> <argument text> <mode: plain|messages|burst>
void RunAndWaitPumpingVerb(char** a) {
  static char argumentText[1024];
  const char* application = Text(a[0]);
  const char* arguments = Text(a[1]);
  const char* mode = a[2];
  if (strlen(arguments) >= sizeof(argumentText)) exit(94);
  strcpy(argumentText, arguments);

  HINSTANCE instance = GetModuleHandleA(NULL);
  WNDCLASSA ansiClass = {0, AnsiWindowProc, 0, 0, instance, NULL, NULL, NULL, NULL, "WykProbeAnsi"};
  WNDCLASSW wideClass = {0, WideWindowProc, 0, 0, instance, NULL, NULL, NULL, NULL, L"WykProbeWide"};
  RegisterClassA(&ansiClass);
  RegisterClassW(&wideClass);
  HWND ansiWindow = CreateWindowExA(0, "WykProbeAnsi", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                    instance, NULL);
  HWND wideWindow = CreateWindowExW(0, L"WykProbeWide", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                    instance, NULL);

  PosterPlan plan = {GetCurrentThreadId(), ansiWindow, wideWindow, strcmp(mode, "burst") == 0};
  if (plan.burst) sleepOnFirstMessage = 2500;
  HANDLE poster = NULL;
  if (strcmp(mode, "plain") != 0) poster = CreateThread(NULL, 0, Poster, &plan, 0, NULL);

  DWORD begin = GetTickCount();
  ChildRun run = RunAndWaitPumping(application, argumentText);
  DWORD result = run.started ? run.exitCode : run.startError;
  DWORD elapsed = GetTickCount() - begin;

  if (poster != NULL) {
    WaitForSingleObject(poster, INFINITE);
    CloseHandle(poster);
  }
  // What the wait left in the queue.
  int remaining = 0;
  int quitLeft = 0;
  MSG message;
  while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quitLeft = 1;
    } else if (message.message == WM_APP) {
      ++remaining;
    }
  }
  printf(" result=%lu elapsed_ms=%lu dispatched_ansi=%ld dispatched_wide=%ld remaining=%d"
         " quit_left=%d wide_window_unicode=%d",
         result, elapsed, dispatchedA, dispatchedW, remaining, quitLeft,
         IsWindowUnicode(wideWindow) ? 1 : 0);
  DestroyWindow(ansiWindow);
  DestroyWindow(wideWindow);
}

// ---------------------------------------------------------------------------
// Diagnostics

void SetEnvironmentVerb(char** a) {
  BOOL done = SetEnvironmentVariableA(Text(a[0]), Text(a[1]));
  printf(" result=%d", done ? 1 : 0);
}

// The value as UTF-8, so a letter outside the code page can be set.
void SetEnvironmentWideVerb(char** a) {
  wchar_t name[256];
  wchar_t value[1024];
  BOOL done = MultiByteToWideChar(CP_UTF8, 0, Text(a[0]), -1, name, 256) != 0 &&
              MultiByteToWideChar(CP_UTF8, 0, Text(a[1]), -1, value, 1024) != 0 &&
              SetEnvironmentVariableW(name, value);
  printf(" result=%d", done ? 1 : 0);
}

void UnsetEnvironmentVerb(char** a) {
  BOOL done = SetEnvironmentVariableA(Text(a[0]), NULL);
  printf(" result=%d", done ? 1 : 0);
}

// Sets a variable in the runtime library's own copy of the environment (TZ).
void CrtPutenvVerb(char** a) {
  int result = _putenv(Text(a[0]));
  _tzset();
  printf(" result=%d", result);
}

void FakeTimeVerb(char** a) {
  fakeTime = static_cast<__time64_t>(_strtoi64(a[0], NULL, 10));
  fakeTimeSet = true;
  printf(" result=1");
}

void LogVerb(char** a) {
  LogDiagnostic(Text(a[0]));
  printf(" result=1");
}

void TempPathVerb(char**) {
  char path[1024];
  DWORD n = GetTempPathA(sizeof(path), path);
  printf(" result=%lu", n);
  PrintHex("path", path, n < sizeof(path) ? n : 0);
}

// What the platform tells a program of this bitness about itself, so the
// tests can check their set-up: the version GetVersionExA gives, the user
// interface language, the ANSI code page, the system folder and the file
// version of the engine library in it.
void SystemVerb(char**) {
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(info);
  GetVersionExA(&info);
  printf(" major=%lu minor=%lu platform=%lu ui_language=%u acp=%u", info.dwMajorVersion,
         info.dwMinorVersion, info.dwPlatformId, GetUserDefaultUILanguage(), GetACP());
  char path[MAX_PATH + 16];
  UINT n = GetSystemDirectoryA(path, MAX_PATH);
  if (n >= MAX_PATH) n = 0;
  PrintHex("system_directory", path, n);
  strcpy(path + n, "\\msi.dll");
  static BYTE block[65536];
  VS_FIXEDFILEINFO* fixed = NULL;
  UINT fixedSize = 0;
  if (GetFileVersionInfoA(path, 0, sizeof(block), block) &&
      VerQueryValueA(block, "\\", reinterpret_cast<LPVOID*>(&fixed), &fixedSize) && fixed != NULL) {
    printf(" msi_version=%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
           LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
           LOWORD(fixed->dwFileVersionLS));
  } else {
    printf(" msi_version=unreadable");
  }
}

// A string of a module's string table as the platform's loader picks it.
void ModuleStringVerb(char** a) {
  char text[1024];
  HMODULE module = LoadLibraryExA(Text(a[0]), NULL, LOAD_LIBRARY_AS_DATAFILE);
  int n = module != NULL ? LoadStringA(module, Number(a[1]), text, sizeof(text)) : 0;
  PrintHex("text", text, n > 0 ? n : 0);
}

// The platform's text for an error code, as the fatal report asks for it.
void SystemTextVerb(char** a) {
  DWORD code = Number(a[0]);
  char* text = NULL;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      NULL, code, LANG_USER_DEFAULT, reinterpret_cast<char*>(&text), 0, NULL);
  printf(" length=%lu", n);
  PrintHex("text", text, n != 0 ? n : 0);
  if (text != NULL) LocalFree(text);
}

void FatalVerb(char** a) {
  DWORD code = Number(a[0]);
  const char* operation = Text(a[1]);
  fflush(stdout);
  SetLastError(code);
  FatalApiError(operation);
}

// ---------------------------------------------------------------------------
// Library loading

void RestrictVerb(char** a) {
  int result = RestrictDllSearchPath(Text(a[0]));
  printf(" result=%d", result);
}

void PrintModulePath(HMODULE module) {
  char path[1024];
  DWORD n = module != NULL ? GetModuleFileNameA(module, path, sizeof(path)) : 0;
  PrintHex("path", path, n < sizeof(path) ? n : 0);
}

void LoadSystemLibraryVerb(char** a) {
  HMODULE module = LoadSystemLibrary(Text(a[0]));
  printf(" loaded=%d", module != NULL ? 1 : 0);
  PrintModulePath(module);
  if (module != NULL) FreeLibrary(module);
}

// A plain-name load through the platform's search order, as an unguarded
// program would do it.
void LoadPlainVerb(char** a) {
  HMODULE module = LoadLibraryA(Text(a[0]));
  DWORD error = module == NULL ? GetLastError() : 0;
  printf(" loaded=%d error=%lu", module != NULL ? 1 : 0, error);
  PrintModulePath(module);
}

// ---------------------------------------------------------------------------
// Resources and follow-on installs

void ExtractVerb(char** a) {
  WORD id = static_cast<WORD>(Number(a[0]));
  int result = ExtractResourceToFile(GetModuleHandleA(NULL), id, Text(a[1]), Text(a[2]));
  printf(" result=%d", result);
}

// What "after-close" does to a staged file between its closing and its
// reopening for holding: "swap" puts another file with the same bytes in its
// place, "grow" appends one byte to the same file.
bool swapAfterClose = false;

void ChangeClosedFile(const char* path) {
  if (swapAfterClose) {
    char copy[MAX_PATH + 8];
    snprintf(copy, sizeof(copy), "%s.new", path);
    if (!CopyFileA(path, copy, FALSE) || !MoveFileExA(copy, path, MOVEFILE_REPLACE_EXISTING)) {
      exit(97);
    }
    return;
  }
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  DWORD written = 0;
  if (file == INVALID_HANDLE_VALUE || !WriteFile(file, "+", 1, &written, NULL)) exit(97);
  CloseHandle(file);
}

void AfterCloseVerb(char** a) {
  swapAfterClose = strcmp(a[0], "swap") == 0;
  stagedFileClosedHook = ChangeClosedFile;
}

void FailFileInformationVerb(char** a) {
  identityCallsUntilFailure = static_cast<int>(Number(a[0]));
  identityFailureError = Number(a[1]);
}

// Starts the cabinet thread of the program on the probe's own cabinet
// resources, its writes slowed down by the given time each.
void StageCabinetsSlowlyVerb(char** a) {
  slowWriteSparedThread = GetCurrentThreadId();
  slowWriteMs = Number(a[0]);
  OpenCabinetsReadyEvent();
  bool started = StartCabinetThread(GetModuleHandleA(NULL));
  printf(" started=%d", started ? 1 : 0);
}

void AsXpVerb(char**) { asXp = true; }

// reparse-point <name> <tag> <target of a link, or "-">
void ReparsePointVerb(char** a) {
  lstrcpynA(reparseName, Text(a[0]), MAX_PATH);
  reparseTag = Number(a[1]);
  reparseTarget = Text(a[2]);
}

void FailRoamingFolderVerb(char**) {
  roamingFolderFails = true;
}

// fake-folder <CSIDL> <UTF-8 text, or "-" to write nothing>
void FakeFolderVerb(char** a) {
  fakedFolder = static_cast<int>(Number(a[0]));
  fakedFolderWritten = strcmp(a[1], "-") != 0;
  if (fakedFolderWritten &&
      MultiByteToWideChar(CP_UTF8, 0, Text(a[1]), -1, fakedFolderText, MAX_PATH) == 0) {
    exit(94);
  }
}

// The whole run with the given arguments; for the cases that end before the engine.
void RunBootstrapVerb(char** a) {
  char* argv[] = {const_cast<char*>("probe"), a[0]};
  printf(" result=%d", RunBootstrap(GetModuleHandleA(NULL), strcmp(a[0], "-") == 0 ? 1 : 2, argv));
}

// Leaves a last-error value behind, then makes the package path.
void CachePackagePathVerb(char** a) {
  FixedText<kPathCapacity> path;
  SetLastError(Number(a[0]));
  CachePathResult result = CreateCacheFolderAndPackagePath(path, false);
  printf(" result=%s", result == kCachePathReady           ? "ready"
                       : result == kCachePathTooLong     ? "too-long"
                       : result == kCachePathNoExactName ? "no-exact-name"
                       : result == kCachePathBusy        ? "busy"
                                                         : "no-user-folder");
}

void SetAttributesVerb(char** a) {
  BOOL done = SetFileAttributesA(Text(a[0]), Number(a[1]));
  printf(" result=%d", done ? 1 : 0);
}

void AttributesVerb(char** a) { printf(" value=%lu", GetFileAttributesA(Text(a[0]))); }

// Between the checks of an existing staged file and its opening for writing:
// "plant-at-check <file>" tries to put a second name of <file> in its place,
// "name-at-check <name>" gives the staged file the second name <name>.
const char* plantTarget = NULL;

void PlantHardLink(const char* path) {
  DeleteFileA(path);
  CreateHardLinkA(path, plantTarget, NULL);
}

void NameStagedFile(const char* path) {
  if (!CreateHardLinkA(plantTarget, path, NULL)) exit(97);
}

template <StagedNameCheckedHook kHook>
void AtCheckVerb(char** a) {
  plantTarget = Text(a[0]);
  stagedNameCheckedHook = kHook;
}

void PublicRuntimeVerb(char** a) {
  InstallPublicRuntimeSilently(Text(a[0]), static_cast<LanguageId>(Number(a[1])), Text(a[2]));
  printf(" result=1");
}

void InstallUpdateServiceVerb(char**) {
  InstallUpdateService(GetModuleHandleA(NULL));
  printf(" result=1");
}

void UserDataFolderVerb(char**) {
  FixedText<kPathCapacity> folder;
  bool found = GetUserDataFolder(folder);
  printf(" result=%d", found ? 1 : 0);
  PrintTextHex("path", folder.Text());
}

void CommonFilesVerb(char**) {
  char folder[MAX_PATH];
  folder[0] = '\0';
  HRESULT result = SHGetFolderPathA(NULL, CSIDL_PROGRAM_FILES_COMMON, NULL, 0, folder);
  printf(" result=%ld", static_cast<long>(result));
  PrintTextHex("path", folder);
}

// A folder given as UTF-8 (so any letter can be passed whatever the code
// page), turned into the program's 8-bit text as the product does it.
void FolderTextVerb(char** a) {
  wchar_t wide[1024];
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Text(a[0]), -1, wide, 1024);
  FixedText<kPathCapacity> out;
  int result = n == 0 ? -1 : static_cast<int>(FolderToAnsiText(wide, out));
  printf(" result=%d", result);
  PrintTextHex("path", out.Text());
}

// ---------------------------------------------------------------------------

// A verb prints its fields; the ones that print nothing but the result of one
// product call without arguments name that call instead.
struct Verb {
  const char* name;
  int arguments;
  void (*run)(char**);
  int (*result)();
};

const Verb kVerbs[] = {
    {"read-vendor-string", 2, ReadVendorStringVerb, NULL},
    {"read-checked-string", 3, CheckedStringVerb<true>, NULL},
    {"query-string-size", 3, CheckedStringVerb<false>, NULL},
    {"open-twice", 3, OpenTwice, NULL},
    {"write-null-text", 0, WriteNullText, NULL},
    {"clear-install-status", 0, NULL, ClearInstallStatus},
    {"is-runtime-registered", 0, NULL, IsRuntimeRegistered},
    {"read-devkit-home", 1, GuardedValueVerb<ReadDevKitHome, false>, NULL},
    {"read-update-service-version", 1, GuardedValueVerb<ReadUpdateServiceVersion, true>, NULL},
    {"needs-old-update-service", 0, NULL, NeedsOldUpdateService},
    {"locate-msiexec", 1, LocateMsiexecVerb, NULL},
    {"run-and-wait", 1, RunAndWaitVerb, NULL},
    {"run-and-wait-pumping", 3, RunAndWaitPumpingVerb, NULL},
    {"handle-slots", 0, HandleSlotsVerb, NULL},
    {"setenv", 2, SetEnvironmentVerb, NULL},
    {"setenv-wide", 2, SetEnvironmentWideVerb, NULL},
    {"unsetenv", 1, UnsetEnvironmentVerb, NULL},
    {"crt-putenv", 1, CrtPutenvVerb, NULL},
    {"fake-time", 1, FakeTimeVerb, NULL},
    {"log", 1, LogVerb, NULL},
    {"temp-path", 0, TempPathVerb, NULL},
    {"system", 0, SystemVerb, NULL},
    {"system-text", 1, SystemTextVerb, NULL},
    {"module-string", 2, ModuleStringVerb, NULL},
    {"fatal", 2, FatalVerb, NULL},
    {"restrict-dll-search-path", 1, RestrictVerb, NULL},
    {"load-system-library", 1, LoadSystemLibraryVerb, NULL},
    {"load-plain", 1, LoadPlainVerb, NULL},
    {"check-engine-version", 0, NULL, CheckInstallerEngineVersion},
    {"extract", 3, ExtractVerb, NULL},
    {"set-attributes", 2, SetAttributesVerb, NULL},
    {"attributes", 1, AttributesVerb, NULL},
    {"plant-at-check", 1, AtCheckVerb<PlantHardLink>, NULL},
    {"name-at-check", 1, AtCheckVerb<NameStagedFile>, NULL},
    {"after-close", 1, AfterCloseVerb, NULL},
    {"fail-file-information", 2, FailFileInformationVerb, NULL},
    {"cache-package-path", 1, CachePackagePathVerb, NULL},
    {"stage-cabinets-slowly", 1, StageCabinetsSlowlyVerb, NULL},
    {"fail-roaming-folder", 0, FailRoamingFolderVerb, NULL},
    {"as-xp", 0, AsXpVerb, NULL},
    {"reparse-point", 3, ReparsePointVerb, NULL},
    {"fake-folder", 2, FakeFolderVerb, NULL},
    {"run-bootstrap", 1, RunBootstrapVerb, NULL},
    {"public-runtime", 3, PublicRuntimeVerb, NULL},
    {"install-update-service", 0, InstallUpdateServiceVerb, NULL},
    {"user-data-folder", 0, UserDataFolderVerb, NULL},
    {"common-files", 0, CommonFilesVerb, NULL},
    {"folder-text", 1, FolderTextVerb, NULL},
    {"set", 4, SetValueVerb, NULL},
    {"get", 2, GetValueVerb<false>, NULL},
    {"getw", 2, GetValueVerb<true>, NULL},
    {"delv", 2, DeleteValueVerb, NULL},
    {"delk", 1, DeleteKeyVerb, NULL},
    {"mkkey", 1, MakeKeyVerb, NULL},
    {"info", 1, KeyInfoVerb, NULL},
};

}  // namespace

int main(int argc, char** argv) {
  int i = 1;
  while (i < argc) {
    if (strcmp(argv[i], "+") == 0) {
      ++i;
      continue;
    }
    const Verb* verb = NULL;
    for (size_t v = 0; v < sizeof(kVerbs) / sizeof(kVerbs[0]); ++v) {
      if (strcmp(argv[i], kVerbs[v].name) == 0) verb = &kVerbs[v];
    }
    if (verb == NULL) {
      fprintf(stderr, "platform_probe: unknown verb %s\n", argv[i]);
      return 95;
    }
    // Arguments run to the next "+" or the end.
    int end = i + 1;
    while (end < argc && strcmp(argv[end], "+") != 0) ++end;
    int count = end - i - 1;
    if (count != verb->arguments) {
      fprintf(stderr, "platform_probe: %s takes %d arguments, got %d\n", verb->name,
              verb->arguments, count);
      return 96;
    }
    printf("%s:", verb->name);
    if (verb->run != NULL) {
      verb->run(argv + i + 1);
    } else {
      printf(" result=%d", verb->result());
    }
    printf("\n");
    fflush(stdout);
    i = end;
  }
  return 0;
}
