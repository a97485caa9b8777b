// Opening a web page (see web_page.h).
#include "engine/web_page.h"

#include "foundation/FILE_ops.h"
#include "foundation/log.h"
#include "platform/plat_process.h"

#include <cerrno>

void open_url_before_quit(const std::string& address, std::string* failure)
{
    PLAT_opener opener;
    const int err = PLAT_open_url_waiting(address, FILE_OPENER_WAIT_MS, &opener);
    const std::string why = FILE_opener_failure(address, err, opener);
    if (failure) *failure = why;
    if (err == EINVAL && opener.name.empty())
        gLog << "WARNING: not opening \"" << address << "\": only http:// and https:// addresses are opened.\n"
             << std::flush;
}
