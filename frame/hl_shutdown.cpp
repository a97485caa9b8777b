// Shutdown of the application frame (see hl_shutdown.h).
#include "frame/hl_shutdown.h"

#include "engine/checksum_task.h"
#include "engine/http.h"
#include "foundation/HL_THREAD.h"
#include "foundation/options.h"
#include "foundation/pref.h"
#include "foundation/translation.h"
#include "frame/app_frame.h"
#include "frame/hl_init.h"
#include "graphics/hl_window.h"

void (*gAppQuitHook)() = nullptr;

void app_shutdown(int full)
{
    // Automation runs must leave the user's settings as they found them.
    if (full == 1 && !CMDLINE_has_option("--fps_test") && !CMDLINE_has_option("--qa_script"))
        PREF_read_write(11, 1);
    // The MD5 scan's workers write into the update plan: they are joined before anything ends.
    install_stop_md5_pool();
    // After a fatal alert (full 0) the workers' state cannot be relied on: they are left running.
    if (full == 1) THREAD_exit();
    // Back to the desktop's own mode first, then the windows, the window class and the log.
    hl_fit_window_to_screen(0);
    if (gWindows.hl_set_window_count(-1) == 2) gWindows.hl_destroy_gl_window(1);
    gWindows.hl_destroy_gl_window(0);
    hl_unregister_window_class();
    // A quit in the middle of an outage: the log tells how often the last failure came again.
    if (gAppQuitHook) gAppQuitHook();
    gNet.end_repeats(-1);
    hl_close_log();
}

void load_installer_text()
{
    if (gLanguage == 0)
        LANG_clear();
    else
        LANG_set_language(gLanguage);
}
