/* References for the benchmarks: the cabinet thread's writes and nothing else.
 * The five cabinet rows of an image are written from the mapped image in writes
 * of 8192 bytes, with the same CreateFileA flags, but with no path lookups and
 * no reopening for reading. What this costs is what the platform charges for
 * the design.
 *
 * usage: bench_same_writes.exe <image> <target folder or -> [<engine>]
 * With an engine, the writes run on a second thread and the engine is started
 * at once beside them, as the bootstrapper does; "-" starts the engine with no
 * writes at all. Exit code 0 when everything worked. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static const struct {
  const char* type;
  WORD id;
  const char* name;
} kRows[] = {
/* The cabinets of the one payload table, in its (writing) order. */
#define WYK_BENCH_ROW_kWrittenByMainSequence(type, id, name)
#define WYK_BENCH_ROW_kWrittenByCabinetThread(type, id, name) {type, id, name},
#define WYK_BENCH_ROW_kWrittenByUpdateService(type, id, name)
#define WYK_PAYLOAD_ROW(writer, type, id, name) WYK_BENCH_ROW_##writer(type, id, name)
#include "../../payload/payload_rows.def"
#undef WYK_PAYLOAD_ROW
};

static HMODULE image;
static const char* target;

static DWORD WINAPI WriteCabinets(LPVOID unused) {
  (void)unused;
  for (size_t i = 0; i < sizeof(kRows) / sizeof(kRows[0]); ++i) {
    HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(kRows[i].id), kRows[i].type);
    if (found == NULL) return 4;
    DWORD size = SizeofResource(image, found);
    const BYTE* data = (const BYTE*)LockResource(LoadResource(image, found));
    char path[MAX_PATH];
    if (snprintf(path, sizeof(path), "%s\\%s", target, kRows[i].name) >= (int)sizeof(path)) return 5;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return 6;
    for (DWORD written = 0; written < size;) {
      DWORD chunk = size - written < 8192 ? size - written : 8192, count = 0;
      if (!WriteFile(file, data + written, chunk, &count, NULL) || count == 0) return 7;
      written += count;
    }
    if (!CloseHandle(file)) return 8;
  }
  return 0;
}

static DWORD RunEngine(char* engine) {
  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  DWORD code = 9;
  memset(&startup, 0, sizeof(startup));
  startup.cb = sizeof(startup);
  if (!CreateProcessA(NULL, engine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) return 9;
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  return code;
}

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) return 2;
  image = LoadLibraryExA(argv[1], NULL, DONT_RESOLVE_DLL_REFERENCES);
  if (image == NULL) return 3;
  target = argv[2];
  int writes = strcmp(target, "-") != 0;
  if (argc == 3) return (int)WriteCabinets(NULL);
  HANDLE writer = writes ? CreateThread(NULL, 0, WriteCabinets, NULL, 0, NULL) : NULL;
  if (writes && writer == NULL) return 10;
  DWORD code = RunEngine(argv[3]);
  if (writer != NULL) {
    DWORD written = 1;
    WaitForSingleObject(writer, INFINITE);
    GetExitCodeThread(writer, &written);
    if (written != 0) return (int)written;
  }
  return (int)code;
}
