// The frame profiler and the shared microsecond clock (see perf_marks.h).
#include "foundation/perf_marks.h"

#include "platform/plat_clock.h"

#include <ios>
#include <ostream>

int gPerfOn = 0;

static int64_t sPreviousMark = 0;
// The frame start stays in whole microseconds: float seconds lose milliseconds after hours.
static int64_t sFrameStart = 0;
static bool sFrameStartSet = false;

int64_t PERF_clock_us()
{
    // Fixed by the first caller; C++ makes the one-time start thread-safe.
    static const int64_t first = PLAT_clock_us();
    return PLAT_clock_us() - first;
}

void PERF_mark(std::ostream& log, const char* name, int last)
{
    if (!gPerfOn) {
        // Profiling switched on again times its first frame afresh, not from the last one it saw.
        sFrameStartSet = false;
        return;
    }
    const int64_t now = PERF_clock_us();
    const int64_t delta = now - sPreviousMark;
    sPreviousMark = now;

    // Whatever the log's other writers set stays theirs.
    const std::ios_base::fmtflags flags = log.flags();
    const std::streamsize precision = log.precision();
    const std::streamsize width = log.width();

    log.setf(std::ios_base::fixed, std::ios_base::floatfield);
    log.width(1);
    log.precision(0);
    log << name << "=";
    log.width(6);
    log << (double)delta * 0.1 << " | ";
    if (last) {
        if (!sFrameStartSet) {
            sFrameStart = now;
            sFrameStartSet = true;
        }
        const float total = (float)((double)(now - sFrameStart) / 1000000.0);
        sFrameStart = now;
        log << "   total: ";
        log.width(5);
        log.precision(3);
        log << total << "\n";
    }

    log.flags(flags);
    log.precision(precision);
    log.width(width);
}
