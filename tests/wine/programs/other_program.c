/* What another program on the machine may do to the bootstrapper's files.
 *
 *   other_program.exe hold <file> <ready file> <stop file> <time limit in ms>
 *     Holds <file> open without sharing, creates <ready file> once the handle
 *     is held, then waits until <stop file> exists or the time limit passes.
 *     Exit code 0, or the error of the open.
 *
 *   other_program.exe try <report file> <file>...
 *     Tries on each file what an intruder would: open it for writing, put
 *     another file in its place, rename it, delete it; and, as a reader may,
 *     open it for reading. One line per file and attempt:
 *     "<file name>.<attempt>=ok" or "=<error>". An attempt that succeeds is
 *     undone where that is possible (a renamed file is moved back), so a
 *     failing test does not hide the next one.
 *
 *   other_program.exe try-folder <report file> <folder>...
 *     What other programs do to a folder they save into: open it to add an
 *     entry ("add") and rename a file into it ("move-in"), as a save by
 *     writing a temporary file and renaming it does; and open it with delete
 *     access ("delete"), as renaming or removing the folder does. Windows'
 *     rename opens the folder to add the entry with this sharing; Wine's
 *     makes no such open, so it is made here first. Lines as for "try".
 *
 *   other_program.exe load <library name>
 *     Loads a library the careless way: by plain name, after taking the
 *     current directory out of the search as the bootstrapper does, so a test
 *     can show that a planted library's trace does catch such a program.
 *     Exit code 0 when loaded, else the error. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int Hold(char **argv) {
  HANDLE held;
  HANDLE ready;
  DWORD limit = (DWORD)strtoul(argv[3], NULL, 10);
  DWORD begin = GetTickCount();
  held = CreateFileA(argv[0], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, NULL);
  if (held == INVALID_HANDLE_VALUE) return (int)GetLastError();
  ready = CreateFileA(argv[1], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  while (GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES && GetTickCount() - begin < limit) {
    Sleep(50);
  }
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

static BOOL TryOpen(const char *path, DWORD access, DWORD share, DWORD disposition) {
  HANDLE file = CreateFileA(path, access, share, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  CloseHandle(file);
  return TRUE;
}

static void TryEverything(FILE *out, const char *path) {
  char other[2 * MAX_PATH];
  BOOL ok;
  HANDLE decoy;
  DWORD error;

  Report(out, path, "read", TryOpen(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
  Report(out, path, "write",
         TryOpen(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                 OPEN_EXISTING));
  Report(out, path, "attributes",
         TryOpen(path, FILE_WRITE_ATTRIBUTES | FILE_WRITE_DATA, FILE_SHARE_READ, OPEN_EXISTING));

  snprintf(other, sizeof(other), "%s.decoy", path);
  decoy = CreateFileA(other, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (decoy != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(decoy, "decoy", 5, &written, NULL);
    CloseHandle(decoy);
  }
  ok = MoveFileExA(other, path, MOVEFILE_REPLACE_EXISTING);
  error = GetLastError();
  if (!ok) DeleteFileA(other);
  SetLastError(error);
  Report(out, path, "replace", ok);

  snprintf(other, sizeof(other), "%s.moved", path);
  ok = MoveFileExA(path, other, 0);
  error = GetLastError();
  if (ok) MoveFileExA(other, path, 0);
  SetLastError(error);
  Report(out, path, "rename", ok);

  Report(out, path, "delete", DeleteFileA(path));
}

static BOOL OpenFolder(const char *path, DWORD access, DWORD share) {
  HANDLE folder = CreateFileA(path, access, share, NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                              NULL);
  if (folder == INVALID_HANDLE_VALUE) return FALSE;
  CloseHandle(folder);
  return TRUE;
}

static void TryFolder(FILE *out, const char *path) {
  const DWORD readWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
  char saving[2 * MAX_PATH];
  char saved[2 * MAX_PATH];
  BOOL ok;
  DWORD error;
  Report(out, path, "add", OpenFolder(path, FILE_ADD_FILE, readWrite));
  snprintf(saving, sizeof(saving), "%s.saving", path);
  snprintf(saved, sizeof(saved), "%s\\saved-by-another-program", path);
  ok = TryOpen(saving, GENERIC_WRITE, 0, CREATE_ALWAYS) && OpenFolder(path, FILE_ADD_FILE, readWrite) &&
       MoveFileExA(saving, saved, 0);
  error = GetLastError();
  DeleteFileA(saved);
  DeleteFileA(saving);
  SetLastError(error);
  Report(out, path, "move-in", ok);
  Report(out, path, "delete", OpenFolder(path, DELETE, readWrite | FILE_SHARE_DELETE));
}

int main(int argc, char **argv) {
  FILE *out;
  int i;
  if (argc == 6 && strcmp(argv[1], "hold") == 0) return Hold(argv + 2);
  if (argc == 3 && strcmp(argv[1], "load") == 0) {
    SetDllDirectoryA("");
    return LoadLibraryA(argv[2]) != NULL ? 0 : (int)GetLastError();
  }
  if (argc < 4 || (strcmp(argv[1], "try") != 0 && strcmp(argv[1], "try-folder") != 0)) {
    return ERROR_INVALID_PARAMETER;
  }
  out = fopen(argv[2], "ab");
  if (out == NULL) return 4;
  for (i = 3; i < argc; ++i) (argv[1][3] == '\0' ? TryEverything : TryFolder)(out, argv[i]);
  fclose(out);
  return 0;
}
