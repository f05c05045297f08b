/* Small stand-ins and tools for the platform tests; nothing of the product is
 * linked in.
 *
 * Under any other file name than platform_helper.exe (copied as msiexec.exe,
 * tvaureg.exe, Program.exe, ...) it is a recording stand-in: every start
 * appends a record to the file named by WYK_RECORD_FILE,
 *     "START <file name>\nCMDLINE <n>\n<n bytes of GetCommandLineA()>\n",
 * and exits with the code in WYK_RECORD_EXIT (default 0; "a,b,c" gives the
 * n-th start the n-th code, later starts the last one). When
 * WYK_RECORD_STATUS_HEX is set, the first start (no record in the file yet)
 * stores those bytes as REG_SZ "InstallStatus" under HKLM\SOFTWARE\Orvale.
 *
 * As platform_helper.exe:
 *   exit <code>                 ends with that 32-bit code
 *   sleep-exit <ms> <code>      waits, then ends with the code
 *   run <time limit ms> <hex command line>
 *       starts the line and prints "exit=<unsigned code>" (Wine cuts the exit
 *       status that Unix sees to 8 bits, this does not)
 *   run-box <time limit ms> <hex command line>
 *       the same, and meanwhile reads the first message box that the child
 *       shows, prints "caption=<hex> text=<hex>" and presses its OK button
 * With WYK_HOLD_FILE set, both hold that file open without sharing while the
 * child runs. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

static int DecodeHex(const char *hex, char *out, size_t capacity) {
  size_t n = strlen(hex);
  size_t i;
  if (n % 2 != 0 || n / 2 >= capacity) return -1;
  for (i = 0; i < n; i += 2) {
    int hi = HexDigit(hex[i]);
    int lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return -1;
    out[i / 2] = (char)(hi * 16 + lo);
  }
  out[n / 2] = '\0';
  return (int)(n / 2);
}

static void PrintHex(const char *key, const char *text) {
  size_t i;
  size_t n = strlen(text);
  printf(" %s=", key);
  if (n == 0) printf("-");
  for (i = 0; i < n; ++i) printf("%02x", (unsigned char)text[i]);
}

static const char *BaseName(const char *path) {
  const char *base = path;
  const char *p;
  for (p = path; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') base = p + 1;
  }
  return base;
}

static int ReadEnv(const char *name, char *buffer, DWORD capacity) {
  DWORD n = GetEnvironmentVariableA(name, buffer, capacity);
  return n != 0 && n < capacity;
}

static int Record(const char *self) {
  static char status[4096];
  static char statusHex[8192];
  char log[MAX_PATH];
  char code[64];
  const char *line = GetCommandLineA();
  int earlier = 0; /* starts recorded before this one */
  int first;
  FILE *f;
  if (ReadEnv("WYK_RECORD_FILE", log, sizeof(log))) {
    f = fopen(log, "rb");
    if (f != NULL) {
      /* Records are "START ...\nCMDLINE <n>\n<n bytes>\n". */
      char header[512];
      while (fgets(header, sizeof(header), f) != NULL) {
        unsigned n = 0;
        if (strncmp(header, "START ", 6) == 0) ++earlier;
        if (sscanf(header, "CMDLINE %u", &n) == 1) fseek(f, (long)n + 1, SEEK_CUR);
      }
      fclose(f);
    }
    f = fopen(log, "ab");
    if (f != NULL) {
      fprintf(f, "START %s\nCMDLINE %u\n", BaseName(self), (unsigned)strlen(line));
      fwrite(line, 1, strlen(line), f);
      fputc('\n', f);
      fclose(f);
    }
  }
  first = earlier == 0;
  if (first && ReadEnv("WYK_RECORD_STATUS_HEX", statusHex, sizeof(statusHex))) {
    static WCHAR wide[4096];
    int n = DecodeHex(statusHex, status, sizeof(status));
    int w = n > 0 ? MultiByteToWideChar(CP_ACP, 0, status, n, wide, 4095) : 0;
    HKEY key;
    /* Exactly these bytes: the setter adds a terminating zero of its own when
     * one follows the data in memory, so something else follows it. */
    wide[w] = L'X';
    if (n >= 0 && RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvale", 0, NULL, 0,
                                  KEY_SET_VALUE, NULL, &key, NULL) == ERROR_SUCCESS) {
      RegSetValueExW(key, L"InstallStatus", 0, REG_SZ, (const BYTE *)wide,
                     (DWORD)w * sizeof(WCHAR));
      RegCloseKey(key);
    }
  }
  if (ReadEnv("WYK_RECORD_EXIT", code, sizeof(code))) {
    char *item = code;
    unsigned long value = strtoul(item, &item, 0);
    int i;
    for (i = 0; i < earlier && *item == ','; ++i) value = strtoul(item + 1, &item, 0);
    return (int)value;
  }
  return 0;
}

struct BoxSearch {
  DWORD process;
  HWND found;
};

static BOOL CALLBACK FindBox(HWND window, LPARAM parameter) {
  struct BoxSearch *search = (struct BoxSearch *)parameter;
  char className[64];
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->process || !IsWindowVisible(window)) return TRUE;
  if (GetClassNameA(window, className, sizeof(className)) == 0) return TRUE;
  if (strcmp(className, "#32770") != 0) return TRUE;
  search->found = window;
  return FALSE;
}

/* The box's message is the static control 0xFFFF; fall back to the first
 * static control with text. */
static BOOL CALLBACK FindStaticText(HWND child, LPARAM parameter) {
  char className[64];
  char *text = (char *)parameter;
  if (text[0] != '\0') return FALSE;
  if (GetClassNameA(child, className, sizeof(className)) == 0) return TRUE;
  if (lstrcmpiA(className, "Static") != 0) return TRUE;
  GetWindowTextA(child, text, 8192);
  return text[0] == '\0';
}

static int Run(int argc, char **argv, int readBox) {
  static char line[32768];
  static char caption[1024];
  static char text[8192];
  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  DWORD limit;
  DWORD begin = GetTickCount();
  DWORD code = 0;
  int boxSeen = 0;
  char holdPath[MAX_PATH];
  HANDLE held = INVALID_HANDLE_VALUE;
  if (argc < 4 || DecodeHex(argv[3], line, sizeof(line)) < 0) return 3;
  limit = (DWORD)strtoul(argv[2], NULL, 10);
  if (ReadEnv("WYK_HOLD_FILE", holdPath, sizeof(holdPath))) {
    held = CreateFileA(holdPath, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (held == INVALID_HANDLE_VALUE) {
      printf("run: nohold=%lu\n", (unsigned long)GetLastError());
      return 6;
    }
  }
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  ZeroMemory(&process, sizeof(process));
  if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
    printf("run: nostart=%lu\n", (unsigned long)GetLastError());
    return 4;
  }
  CloseHandle(process.hThread);
  while (readBox && !boxSeen && GetTickCount() - begin < limit) {
    struct BoxSearch search;
    search.process = process.dwProcessId;
    search.found = NULL;
    EnumWindows(FindBox, (LPARAM)&search);
    if (search.found != NULL) {
      /* Let the box lay itself out before its texts are read. */
      Sleep(200);
      caption[0] = '\0';
      text[0] = '\0';
      GetWindowTextA(search.found, caption, sizeof(caption));
      GetDlgItemTextA(search.found, 0xFFFF, text, sizeof(text));
      if (text[0] == '\0') EnumChildWindows(search.found, FindStaticText, (LPARAM)text);
      PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      boxSeen = 1;
      break;
    }
    if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) break;
  }
  if (WaitForSingleObject(process.hProcess, limit) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 259);
    printf("run: timeout=1 box=%d\n", boxSeen);
    return 5;
  }
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  printf("run: exit=%lu box=%d", (unsigned long)code, boxSeen);
  if (boxSeen) {
    PrintHex("caption", caption);
    PrintHex("text", text);
  }
  printf("\n");
  return 0;
}

int main(int argc, char **argv) {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, self, sizeof(self));
  if (n == 0 || n >= sizeof(self)) return 2;
  if (lstrcmpiA(BaseName(self), "platform_helper.exe") != 0) return Record(self);

  if (argc >= 3 && strcmp(argv[1], "exit") == 0) {
    ExitProcess((UINT)strtoul(argv[2], NULL, 0));
  }
  if (argc >= 4 && strcmp(argv[1], "sleep-exit") == 0) {
    Sleep((DWORD)strtoul(argv[2], NULL, 10));
    ExitProcess((UINT)strtoul(argv[3], NULL, 0));
  }
  if (argc >= 4 && strcmp(argv[1], "run") == 0) return Run(argc, argv, 0);
  if (argc >= 4 && strcmp(argv[1], "run-box") == 0) return Run(argc, argv, 1);
  fprintf(stderr, "platform_helper: unknown use\n");
  return 2;
}
