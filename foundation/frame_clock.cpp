// The frame timer object, its clock and its profiling marks (see frame_clock.h). The tick that
// brings it up to date each frame is the frame's (frame/hl_timer.cpp).
#include "foundation/frame_clock.h"

#include "foundation/log.h"
#include "foundation/perf_marks.h"

hl_timer gTimer;

int64_t hl_timer_clock_us()
{
    return PERF_clock_us();
}

// Nothing switches profiling on, so every mark returns at once.
void hl_timer::perf_mark(const char* name, int last)
{
    PERF_mark(gLog, name, last);
}
