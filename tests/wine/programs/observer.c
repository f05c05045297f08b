/* The tests' Windows process beside the program under test: it starts
 * programs from a Windows parent, reads their message boxes, watches the
 * hand-off event, holds files and tries what an intruder would do to them.
 *
 *   observer.exe run <result file> <limit in ms> <current directory or -> [/invisible]
 *                    <command file>...
 *     Starts several programs at once, each with an exact command line of any
 *     length (a command file's bytes), all before the first is waited for.
 *     One result line per command file: the 32-bit exit code as a signed
 *     decimal number, "nostart <error>" or "timeout" (the child is then
 *     ended). With /invisible the children start on a desktop of a window
 *     station made without WSF_VISIBLE, as a service's is, where nobody sees
 *     or closes a box.
 *
 *   observer.exe box <output> <limit in ms>
 *     Waits for a message box (a top-level window of class "#32770"), writes
 *     "CAPTION=<hex>\nTEXT=<hex>\n", the raw 8-bit texts, then presses OK.
 *     Exit code 2 when none came; the output is then never made, so a test
 *     that ends the reader early still sees whether a box came.
 *
 *   observer.exe event <output> <limit in ms> <ready file> <cache folder\>
 *     Started before the bootstrapper, creates <ready file>, waits for the
 *     event to appear, then to be set, and records which cabinets exist in
 *     the kit cache folder and how large they are (WatchEvent). A file
 *     "event-seen.marker" is created in the cache folder right after the
 *     event is seen set, so its place among the cabinets' close events can be
 *     checked with inotify.
 *
 *   observer.exe hold <output> <limit in ms> <ready file> <file> <stop file>
 *     Holds <file> open without sharing, creates <ready file> once the handle
 *     is held, then waits until <stop file> exists or the time limit passes.
 *     Exit code 0, or the error of the open; it writes nothing.
 *
 *   observer.exe try <report file> <file>...
 *     Tries on each file what an intruder would: open it for writing, put
 *     another file in its place, rename it, delete it; and, as a reader may,
 *     open it for reading. One line per file and attempt:
 *     "<file name>.<attempt>=ok" or "=<error>". An attempt that succeeds is
 *     undone where that is possible (a renamed file is moved back), so a
 *     failing test does not hide the next one.
 *
 *   observer.exe try-folder <report file> <folder>...
 *     What other programs do to a folder they save into: open it to add an
 *     entry ("add") and rename a file into it ("move-in"), as a save by
 *     writing a temporary file and renaming it does; and open it with delete
 *     access ("delete"), as renaming or removing the folder does. Windows'
 *     rename opens the folder to add the entry with this sharing; Wine's
 *     makes no such open, so it is made here first. Lines as for "try". */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "engine_standin.h"
#include "hex_bytes.h"

#define MAX_CHILDREN 8

static char *ReadWhole(const char *path) {
  FILE *in = fopen(path, "rb");
  long size;
  char *text;
  if (in == NULL) return NULL;
  fseek(in, 0, SEEK_END);
  size = ftell(in);
  fseek(in, 0, SEEK_SET);
  text = (char *)malloc((size_t)size + 1);
  if (text != NULL) {
    size_t n = fread(text, 1, (size_t)size, in);
    text[n] = '\0';
  }
  fclose(in);
  return text;
}

/* The station and desktop stay open while the children run: the runner's
 * handles are released only when it ends. */
static char *InvisibleDesktop(void) {
  static char name[] = "WykInvisible\\Default";
  HWINSTA own = GetProcessWindowStation();
  HWINSTA station = CreateWindowStationA("WykInvisible", 0, WINSTA_ALL_ACCESS, NULL);
  HDESK desktop = NULL;
  if (station != NULL && SetProcessWindowStation(station)) {
    desktop = CreateDesktopA("Default", NULL, NULL, 0, GENERIC_ALL, NULL);
    SetProcessWindowStation(own);
  }
  return desktop != NULL ? name : NULL;
}

static int RunAll(FILE *out, DWORD limit, int argc, char **argv) {
  PROCESS_INFORMATION processes[MAX_CHILDREN];
  DWORD startErrors[MAX_CHILDREN];
  const char *directory = strcmp(argv[0], "-") == 0 ? NULL : argv[0];
  char *desktop = NULL;
  int first = 1;
  DWORD begin;
  int i;
  if (argc > 1 && strcmp(argv[1], "/invisible") == 0) {
    desktop = InvisibleDesktop();
    if (desktop == NULL) return 6;
    first = 2;
  }
  if (argc < first + 1 || argc - first > MAX_CHILDREN) return 3;
  for (i = 0; i < argc - first; ++i) {
    STARTUPINFOA startup;
    char *commandLine = ReadWhole(argv[first + i]);
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.lpDesktop = desktop;
    ZeroMemory(&processes[i], sizeof(processes[i]));
    startErrors[i] = 0;
    if (commandLine == NULL) {
      startErrors[i] = ERROR_FILE_NOT_FOUND;
      continue;
    }
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, directory, &startup,
                        &processes[i])) {
      startErrors[i] = GetLastError();
      if (startErrors[i] == 0) startErrors[i] = (DWORD)-1;
    } else {
      CloseHandle(processes[i].hThread);
    }
    free(commandLine);
  }
  begin = GetTickCount();
  for (i = 0; i < argc - first; ++i) {
    DWORD code = 0;
    DWORD spent = GetTickCount() - begin;
    if (startErrors[i] != 0) {
      fprintf(out, "nostart %lu\n", (unsigned long)startErrors[i]);
      continue;
    }
    if (WaitForSingleObject(processes[i].hProcess, spent < limit ? limit - spent : 0) !=
        WAIT_OBJECT_0) {
      TerminateProcess(processes[i].hProcess, 259);
      fprintf(out, "timeout\n");
    } else {
      GetExitCodeProcess(processes[i].hProcess, &code);
      fprintf(out, "%ld\n", (long)(LONG)code);
    }
    CloseHandle(processes[i].hProcess);
  }
  return 0;
}

static BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  char className[64];
  if (!IsWindowVisible(window)) return TRUE;
  if (GetClassNameA(window, className, sizeof(className)) == 0) return TRUE;
  if (strcmp(className, "#32770") != 0) return TRUE;
  *(HWND *)found = window;
  return FALSE;
}

static int ReadBox(const char *output, DWORD limit) {
  DWORD begin = GetTickCount();
  HWND dialog = NULL;
  char caption[1024] = "";
  char text[4096] = "";
  FILE *out;
  while (dialog == NULL) {
    EnumWindows(FindDialog, (LPARAM)&dialog);
    if (dialog != NULL) break;
    if (GetTickCount() - begin > limit) return 2;
    Sleep(50);
  }
  /* Let the box finish laying itself out before its texts are read. */
  Sleep(200);
  GetWindowTextA(dialog, caption, sizeof(caption));
  GetDlgItemTextA(dialog, 0xFFFF, text, sizeof(text));
  out = fopen(output, "wb");
  if (out == NULL) return 4;
  WriteHexLine(out, "CAPTION", caption, strlen(caption));
  WriteHexLine(out, "TEXT", text, strlen(text));
  fclose(out);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return 0;
}

static int WatchFromOutside(FILE *out, DWORD limit, const char *ready, const char *folder) {
  char marker[2 * MAX_PATH];
  Touch(ready);
  if (WatchEvent(out, folder, limit, limit)) {
    snprintf(marker, sizeof(marker), "%sevent-seen.marker", folder);
    Touch(marker);
  }
  return 0;
}

static int Hold(DWORD limit, const char *ready, const char *path, const char *stop) {
  HANDLE held = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (held == INVALID_HANDLE_VALUE) return (int)GetLastError();
  Touch(ready);
  WaitForFile(stop, limit);
  CloseHandle(held);
  return 0;
}

static const char *BaseName(const char *path) {
  const char *slash = strrchr(path, '\\');
  return slash != NULL ? slash + 1 : path;
}

static void Report(FILE *out, const char *path, const char *attempt, BOOL ok) {
  if (ok) {
    fprintf(out, "%s.%s=ok\n", BaseName(path), attempt);
  } else {
    fprintf(out, "%s.%s=%lu\n", BaseName(path), attempt, (unsigned long)GetLastError());
  }
}

/* Opens a file (a folder with FILE_FLAG_BACKUP_SEMANTICS) and closes it again. */
static BOOL TryOpen(const char *path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  HANDLE file = CreateFileA(path, access, share, NULL, disposition, flags, NULL);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  CloseHandle(file);
  return TRUE;
}

static void TryEverything(FILE *out, const char *path) {
  char other[2 * MAX_PATH];
  BOOL ok;
  HANDLE decoy;

  Report(out, path, "read", TryOpen(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
  Report(out, path, "write",
         TryOpen(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                 OPEN_EXISTING, 0));
  Report(out, path, "attributes",
         TryOpen(path, FILE_WRITE_ATTRIBUTES | FILE_WRITE_DATA, FILE_SHARE_READ, OPEN_EXISTING, 0));

  snprintf(other, sizeof(other), "%s.decoy", path);
  decoy = CreateFileA(other, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (decoy != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(decoy, "decoy", 5, &written, NULL);
    CloseHandle(decoy);
  }
  /* Each attempt is reported before it is undone, which changes the last error. */
  ok = MoveFileExA(other, path, MOVEFILE_REPLACE_EXISTING);
  Report(out, path, "replace", ok);
  if (!ok) DeleteFileA(other);

  snprintf(other, sizeof(other), "%s.moved", path);
  ok = MoveFileExA(path, other, 0);
  Report(out, path, "rename", ok);
  if (ok) MoveFileExA(other, path, 0);

  Report(out, path, "delete", DeleteFileA(path));
}

static BOOL OpenFolder(const char *path, DWORD access, DWORD share) {
  return TryOpen(path, access, share, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
}

static void TryFolder(FILE *out, const char *path) {
  const DWORD readWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
  char saving[2 * MAX_PATH];
  char saved[2 * MAX_PATH];
  Report(out, path, "add", OpenFolder(path, FILE_ADD_FILE, readWrite));
  snprintf(saving, sizeof(saving), "%s.saving", path);
  snprintf(saved, sizeof(saved), "%s\\saved-by-another-program", path);
  Report(out, path, "move-in",
         TryOpen(saving, GENERIC_WRITE, 0, CREATE_ALWAYS, 0) &&
             OpenFolder(path, FILE_ADD_FILE, readWrite) && MoveFileExA(saving, saved, 0));
  DeleteFileA(saved);
  DeleteFileA(saving);
  Report(out, path, "delete", OpenFolder(path, DELETE, readWrite | FILE_SHARE_DELETE));
}

int main(int argc, char **argv) {
  FILE *out;
  DWORD limit;
  int code = 3;
  int i;
  if (argc < 4) return 3;
  limit = (DWORD)strtoul(argv[3], NULL, 10);  /* for the modes that take one */
  if (strcmp(argv[1], "box") == 0) return ReadBox(argv[2], limit);
  out = fopen(argv[2], "wb");
  if (out == NULL) return 4;
  if (strcmp(argv[1], "try") == 0 || strcmp(argv[1], "try-folder") == 0) {
    for (i = 3; i < argc; ++i) (argv[1][3] == '\0' ? TryEverything : TryFolder)(out, argv[i]);
    code = 0;
  }
  if (strcmp(argv[1], "run") == 0 && argc > 4) code = RunAll(out, limit, argc - 4, argv + 4);
  if (strcmp(argv[1], "event") == 0 && argc == 6) {
    code = WatchFromOutside(out, limit, argv[4], argv[5]);
  }
  if (strcmp(argv[1], "hold") == 0 && argc == 7) code = Hold(limit, argv[4], argv[5], argv[6]);
  fclose(out);
  return code;
}
