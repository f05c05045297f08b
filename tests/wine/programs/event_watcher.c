/* Watches the hand-off event from outside the bootstrapper: started before
 * it, waits for the event to appear, then for it to be set, and records which
 * cabinets exist in the kit cache folder and how large they are (WatchEvent).
 *
 *   event_watcher.exe <output file> <time limit in ms> <ready file> <cache folder\>
 *
 * A file "event-seen.marker" is created in the cache folder right after the
 * event is seen set, so its place among the cabinets' close events can be
 * checked with inotify. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "engine_standin.h"

int main(int argc, char **argv) {
  char marker[2 * MAX_PATH];
  DWORD limit;
  FILE *out;
  if (argc < 5) return 3;
  limit = (DWORD)strtoul(argv[2], NULL, 10);
  out = fopen(argv[1], "wb");
  if (out == NULL) return 4;
  Touch(argv[3]);
  if (WatchEvent(out, argv[4], limit, limit)) {
    snprintf(marker, sizeof(marker), "%sevent-seen.marker", argv[4]);
    Touch(marker);
  }
  fclose(out);
  return 0;
}
