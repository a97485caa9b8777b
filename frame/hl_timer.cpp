// The frame timer (see hl_timer.h).
#include "frame/hl_timer.h"

#include "platform/plat_clock.h"

hl_timer gTimer;

// Only the real-time clock so far (the network time-out reads it); frame times and the press
// timing come with the timer's own unit.
void hl_timer::hl_timer_update()
{
    static int64_t first = -1;
    const int64_t now = PLAT_clock_us();
    if (first < 0) first = now;
    hl_timer_real_time = (float)((double)(now - first) / 1000000.0);
}

// Nothing switches profiling on, so every mark returns at once.
void hl_timer::perf_mark(const char*, int)
{
}
