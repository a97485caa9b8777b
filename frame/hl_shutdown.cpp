// Shutdown of the application frame (see hl_shutdown.h).
#include "frame/hl_shutdown.h"

#include "frame/hl_init.h"

void app_shutdown(int /*full*/)
{
    hl_close_log();
}
