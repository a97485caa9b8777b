// The log stream and the per-thread redirection of its lines (see log.h).
#include "foundation/log.h"

std::ofstream gLog;

static thread_local std::ostream* tCapture = nullptr;

std::ostream& LOG_out()
{
    return tCapture ? *tCapture : static_cast<std::ostream&>(gLog);
}

void LOG_capture(std::ostream* buffer)
{
    tCapture = buffer;
}
