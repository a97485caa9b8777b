// Shutdown of the application frame (see hl_shutdown.h).
#include "frame/hl_shutdown.h"

#include "foundation/options.h"
#include "foundation/pref.h"
#include "frame/hl_init.h"

void app_shutdown(int full)
{
    // Automation runs must leave the user's settings as they found them.
    if (full == 1 && !CMDLINE_has_option("--fps_test") && !CMDLINE_has_option("--qa_script"))
        PREF_read_write(11, 1);
    hl_close_log();
}
