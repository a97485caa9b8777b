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

bool LOG_repeated(LOG_repeats& r, const std::string& report)
{
    if (r.subject.empty() || report != r.report) return false;
    ++r.count;
    return true;
}

void LOG_repeats_keep(LOG_repeats& r, const std::string& report, const std::string& subject)
{
    r.report = report;
    r.subject = subject;
    r.count = 0;
}

void LOG_repeats_end(LOG_repeats& r, const char* line_end)
{
    if (r.count > 0)
        gLog << "The " << r.subject << " came " << r.count << (r.count == 1 ? " more time." : " more times.")
             << line_end << std::flush;
    LOG_repeats_keep(r, "", "");
}
