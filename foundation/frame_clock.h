// The frame timer, the program's one clock, as the profiler marks, the network time-out, the
// worklist and the MD5 scan read it. gTimer, its clock and its marks live here, below every
// layer that reads them; the frame ticks it once per frame.
#pragma once
#include <cstdint>

struct hl_timer {
    float time_ratio = 1.0f;
    float hl_timer_frame_time = 0.02f; // smoothed frame time, seconds
    float sim_frame_time = 0.02f;      // simulated seconds per frame
    float hl_timer_real_time = 0.0f;   // seconds since the first tick

    // One tick: clock, frame time, press timing, pulsing colours. Called only by hl_do_frame.
    void hl_timer_update();
    // A profiling mark; profiling is never switched on in this program, so it is silent.
    void perf_mark(const char* name, int last);
};

extern hl_timer gTimer;

// The frame timer's clock: microseconds since its first reading in this process. Any thread.
int64_t hl_timer_clock_us();
