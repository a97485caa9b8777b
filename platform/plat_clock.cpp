// The monotonic clock (see plat_clock.h).
#include "platform/plat_clock.h"

#include <ctime>

int64_t PLAT_clock_us()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    // Seconds and nanoseconds are scaled apart, so nothing overflows for centuries of uptime.
    return (int64_t)ts.tv_sec * 1000000 + (int64_t)(ts.tv_nsec / 1000);
}
