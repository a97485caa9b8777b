// Shutdown of the application frame (see hl_shutdown.h).
#include "frame/hl_shutdown.h"

#include "foundation/translation.h"
#include "frame/hl_init.h"

void app_shutdown(int /*full*/)
{
    hl_close_log();
}

void load_installer_text()
{
    if (gLanguage == 0)
        LANG_clear();
    else
        LANG_set_language(gLanguage);
}
