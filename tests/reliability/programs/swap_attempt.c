/* Tries what an intruder would do to a staged file: open it for writing,
 * put another file in its place, rename it, delete it; and, as a reader may,
 * open it for reading.
 *
 *   swap_attempt.exe <report file> <file>...
 *
 * One line per file and attempt: "<file name>.<attempt>=ok" or "=<error>".
 * An attempt that succeeds is undone where that is possible (a renamed file
 * is moved back), so a failing test does not hide the next one. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

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

int main(int argc, char **argv) {
  FILE *out;
  int i;
  if (argc < 3) return 3;
  out = fopen(argv[1], "ab");
  if (out == NULL) return 4;
  for (i = 2; i < argc; ++i) {
    const char *path = argv[i];
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
  fclose(out);
  return 0;
}
