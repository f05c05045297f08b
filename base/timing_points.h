// Points that the cabinet thread passes while it stages a cabinet. The
// benchmark's timed build (WYK_TIMING_POINTS defined) notes when each one is
// passed, to show where staging time goes; in every other build, the product
// included, a point is nothing at all.
#ifndef WYK_BASE_TIMING_POINTS_H
#define WYK_BASE_TIMING_POINTS_H

// Each point ends the step named beside it; the numbers are the benchmark's.
enum TimingPoint {
  kPointCabinetBegins = 0,  // a cabinet's turn begins
  kPointPathReady = 1,      // path composed (the folder was made and checked before the first cabinet)
  kPointOpenDue = 2,        // resource found
  kPointOpened = 3,         // the file created (a stale one: its name checked and held, then opened)
  kPointOpenedChecked = 4,  // the opened file's identity checked (a stale one's content cut)
  kPointWritten = 5,        // all bytes written
  kPointClosed = 6,         // the file closed
  kPointHeld = 7,           // reopened for holding, identity compared
  kPointCabinetsDone = 8    // after the last cabinet: the timed build writes its notes
};

#ifdef WYK_TIMING_POINTS
void PassTimingPoint(TimingPoint point);
#define WYK_TIMING_POINT(point) PassTimingPoint(point)
#else
#define WYK_TIMING_POINT(point) ((void)0)
#endif

#endif
