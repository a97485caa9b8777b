// Opening a web page (see web_page.h).
#include "engine/web_page.h"

#include "foundation/FILE_ops.h"
#include "foundation/log.h"
#include "foundation/translation.h"
#include "platform/plat_process.h"

#include <cerrno>

// Long enough for an opener with nothing to open the page with to say so (xdg-open does within
// a second), short enough not to hold up a program that is quitting.
static const int kOpenerWaitMs = 2000;

void open_url_before_quit(const std::string& address, std::string* failure)
{
    int status = 0, signal = 0;
    const int err = PLAT_open_url_waiting(address, kOpenerWaitMs, &status, &signal);
    if (failure) failure->clear();
    if (err == EINVAL) {
        gLog << "WARNING: not opening \"" << address << "\": only http:// and https:// addresses are opened.\n";
    } else if (err) {
        gLog << "WARNING: could not start xdg-open for " << address << ": " << FILE_error_text(err) << "\n";
        if (failure) *failure = "xdg-open: " + FILE_error_text(err);
    } else if (status || signal) {
        const std::string n = std::to_string(status ? status : signal);
        const std::string english = status ? "exited with status " + n : "was ended by signal " + n;
        gLog << "WARNING: xdg-open did not open " << address << ": it " << english << "\n";
        if (failure)
            *failure = "xdg-open: " + LANG_substitute_1(status ? LANG_translate("exited with status %1:status%")
                                                               : LANG_translate("was ended by signal %1:signal%"),
                                                        n);
    }
    gLog.flush();
}
