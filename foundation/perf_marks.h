// The switchable frame profiler: named marks along the frame, each logging the time since the
// previous mark, the frame's last mark adding the frame's total. Nothing in the program switches
// it on. Also the microsecond clock that the frame timer shares.
#pragma once
#include <cstdint>
#include <iosfwd>

extern int gPerfOn; // profiling is on when not 0

// Microseconds since the clock's first reading in this process. Any thread.
int64_t PERF_clock_us();

// One mark into the log: "name=" and the time since the previous mark, then " | "; the last mark
// of a frame adds "   total: " and the frame's seconds and ends the line. The stream's format
// is left as it was found. Main thread only.
void PERF_mark(std::ostream& log, const char* name, int last);
