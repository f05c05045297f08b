// The benchmark's timed build of the bootstrapper: notes when each thread
// passes each timing point (base/timing_points.h) and, when the cabinet thread
// has staged its last cabinet, writes the notes to the file that the
// environment variable WYK_BENCH_TIMES names, one line "<point> <thread id>
// <microseconds since the first note>" each. Noting a point costs one counter
// read; the notes are written after the last cabinet, outside every step.
#include <windows.h>

#include "base/bounded_text.h"
#include "base/timing_points.h"

namespace {

struct Note {
  TimingPoint point;
  DWORD thread;
  LONGLONG ticks;
};

// Ten points a cabinet and the main thread's files: far more than a run passes.
const LONG kNoteCapacity = 512;
Note notes[kNoteCapacity];
volatile LONG noteCount = 0;

void WriteNotes() {
  char path[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("WYK_BENCH_TIMES", path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return;
  HANDLE out = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (out == INVALID_HANDLE_VALUE) return;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  LONG count = noteCount < kNoteCapacity ? noteCount : kNoteCapacity;
  for (LONG i = 0; i < count; ++i) {
    FixedText<64> line;
    line.AppendDecimal(static_cast<long>(notes[i].point));
    line.AppendChar(' ');
    line.AppendDecimal(static_cast<long>(notes[i].thread));
    line.AppendChar(' ');
    line.AppendDecimal(static_cast<long>((notes[i].ticks - notes[0].ticks) * 1000000 / frequency.QuadPart));
    line.AppendChar('\n');
    DWORD written = 0;
    if (line.Fits()) WriteFile(out, line.Text(), static_cast<DWORD>(line.Length()), &written, NULL);
  }
  CloseHandle(out);
}

}  // namespace

void PassTimingPoint(TimingPoint point) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  LONG slot = InterlockedIncrement(&noteCount) - 1;
  if (slot < kNoteCapacity) {
    notes[slot].point = point;
    notes[slot].thread = GetCurrentThreadId();
    notes[slot].ticks = now.QuadPart;
  }
  if (point == kPointCabinetsDone) WriteNotes();
}
