// Where the frame fills in the hooks of the layers below it: what the foundation, the engine and
// the graphics need from above reaches them only through these (see hl_set_hooks in hl_init.h).
#include "frame/hl_init.h"

#include "foundation/shutdown.h"
#include "frame/hl_shutdown.h"

void hl_set_hooks()
{
    gShutdownHook = app_shutdown;
}
