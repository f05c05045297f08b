/* Watches the hand-off event from outside the bootstrapper: started before
 * it, waits for the event to appear, then for it to be set, and at that moment
 * records which cabinets exist in the kit cache folder and how large they are.
 *
 *   event_watcher.exe <cache folder\> <output file> <ready file> <time limit in ms>
 *
 * Output lines: seen=0/1, set_when_seen=0/1, at_seen.<cabinet>=<size|missing>,
 * set=0/1, at_set.<cabinet>=<size|missing>. A file "event-seen.marker" is
 * created in the cache folder right after the event is seen set, so its
 * place among the cabinets' close events can be checked with inotify. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "engine_standin.h"

int main(int argc, char **argv) {
  const char *folder;
  FILE *out;
  HANDLE event = NULL;
  HANDLE ready;
  DWORD limit;
  DWORD begin = GetTickCount();
  if (argc < 5) return 3;
  folder = argv[1];
  limit = (DWORD)strtoul(argv[4], NULL, 10);
  out = fopen(argv[2], "wb");
  if (out == NULL) return 4;
  ready = CreateFileA(argv[3], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);

  /* Poll rather than create: the bootstrapper must find no event of that name. */
  while (event == NULL && GetTickCount() - begin < limit) {
    event = OpenEventA(SYNCHRONIZE, FALSE, "HalvecWYKCabExtractWaitEvent");
    if (event == NULL) Sleep(1);
  }
  fprintf(out, "seen=%d\n", event != NULL ? 1 : 0);
  if (event == NULL) {
    fclose(out);
    return 0;
  }
  fprintf(out, "set_when_seen=%d\n", WaitForSingleObject(event, 0) == WAIT_OBJECT_0 ? 1 : 0);
  WriteSizes(out, "at_seen", folder);
  if (WaitForSingleObject(event, limit) == WAIT_OBJECT_0) {
    char marker[2 * MAX_PATH];
    HANDLE markerFile;
    WriteSizes(out, "at_set", folder);
    snprintf(marker, sizeof(marker), "%sevent-seen.marker", folder);
    markerFile = CreateFileA(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (markerFile != INVALID_HANDLE_VALUE) CloseHandle(markerFile);
    fprintf(out, "set=1\n");
  } else {
    fprintf(out, "set=0\n");
  }
  CloseHandle(event);
  fclose(out);
  return 0;
}
