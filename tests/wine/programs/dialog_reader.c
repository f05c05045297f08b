/* Waits for a message box (a top-level window of class "#32770"), records its
 * caption and its text, then presses OK.
 *
 *   dialog_reader.exe <output file> <time limit in ms>
 *
 * The output holds "CAPTION=<hex>\nTEXT=<hex>\n", the raw 8-bit texts in hex.
 * Exit code 0 when a box was read and closed, 2 when none came. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "hex_bytes.h"

static BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  char className[64];
  if (!IsWindowVisible(window)) return TRUE;
  if (GetClassNameA(window, className, sizeof(className)) == 0) return TRUE;
  if (strcmp(className, "#32770") != 0) return TRUE;
  *(HWND *)found = window;
  return FALSE;
}

int main(int argc, char **argv) {
  DWORD limit;
  DWORD begin = GetTickCount();
  HWND dialog = NULL;
  char caption[1024] = "";
  char text[4096] = "";
  FILE *out;
  if (argc < 3) return 3;
  limit = (DWORD)strtoul(argv[2], NULL, 10);
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
  out = fopen(argv[1], "wb");
  if (out == NULL) return 4;
  WriteHexLine(out, "CAPTION", caption, strlen(caption));
  WriteHexLine(out, "TEXT", text, strlen(text));
  fclose(out);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return 0;
}
