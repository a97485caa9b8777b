// The frame timer (see hl_timer.h).
#include "frame/hl_timer.h"

#include "foundation/perf_marks.h"
#include "frame/hl_init.h"

hl_timer gTimer;

int64_t hl_timer_clock_us()
{
    return PERF_clock_us();
}

// Only the real-time clock so far (the network time-out reads it); frame times and the press
// timing come with the timer's own unit.
void hl_timer::hl_timer_update()
{
    hl_timer_real_time = (float)((double)hl_timer_clock_us() / 1000000.0);
}

// Nothing switches profiling on, so every mark returns at once.
void hl_timer::perf_mark(const char* name, int last)
{
    PERF_mark(gLog, name, last);
}
