// The frame timer, the program's one clock: real time since the first frame, the smoothed frame
// time, the per-frame mouse press timing of the input state and the pulsing colours, all
// brought up to date by one tick per frame.
#pragma once
#include <cstdint>

struct hl_timer {
    float time_ratio = 1.0f;           // simulated time per frame time; nothing changes it
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
// What the tick reads the clock through: hl_timer_clock_us, or a test's stand-in.
extern int64_t (*gTimerClock)();

// The frame-time bounds: a frame counts as at least the first and at most the second.
const float kTimerMinFrame = 0.0010001f;
const float kTimerMaxFrame = 0.05025126f;
