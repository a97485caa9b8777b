// Opening a web page (see web_page.h).
#include "engine/web_page.h"

#include "foundation/FILE_ops.h"
#include "foundation/log.h"
#include "platform/plat_process.h"

#include <cerrno>

void open_url(const std::string& address, std::string* failure)
{
    const int err = PLAT_open_url(address);
    if (failure) failure->clear();
    if (err == EINVAL) {
        gLog << "WARNING: not opening \"" << address << "\": only http:// and https:// addresses are opened.\n";
    } else if (err) {
        gLog << "WARNING: could not start xdg-open for " << address << ": " << FILE_error_text(err) << "\n";
        if (failure) *failure = "xdg-open: " + FILE_error_text(err);
    }
    gLog.flush();
}
