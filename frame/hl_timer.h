// The frame timer, the program's one clock: real time since the first frame, the smoothed frame
// time, the per-frame mouse press timing of the input state and the pulsing colours, all brought
// up to date by one tick per frame. Its type, the timer itself and its clock live where the lower
// layers read them (foundation/frame_clock.h); the tick is the frame's.
#pragma once
#include "foundation/frame_clock.h"

// What the tick reads the clock through: hl_timer_clock_us, or a test's stand-in.
extern int64_t (*gTimerClock)();

// The frame-time bounds: a frame counts as at least the first and at most the second.
const float kTimerMinFrame = 0.0010001f;
const float kTimerMaxFrame = 0.05025126f;
