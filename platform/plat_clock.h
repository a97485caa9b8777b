// The system's monotonic clock, which never jumps with changes to the wall-clock time.
#pragma once
#include <cstdint>

// Microseconds since an arbitrary start that stays fixed while the system runs.
int64_t PLAT_clock_us();
