// Where the frame fills in the hooks of the layers below it: what the foundation, the engine and
// the graphics need from above reaches them only through these (see hl_set_hooks in hl_init.h).
#include "frame/hl_init.h"

#include "engine/http.h"
#include "engine/modal_frame.h"
#include "foundation/command_table.h"
#include "foundation/gl_handoff.h"
#include "foundation/proxy_prefs.h"
#include "foundation/shutdown.h"
#include "frame/hl_commands.h"
#include "frame/hl_popup.h"
#include "frame/hl_shutdown.h"
#include "frame/screen_prefs.h"
#include "graphics/OGL_extensions.h"
#include "graphics/hl_monitor.h"
#include "graphics/hl_window.h"
#include "graphics/startup_message.h"

void hl_set_hooks()
{
    gShutdownHook = app_shutdown;
    gCommandTable = {CMD_count, CMD_get_name, CMD_get_description, CMD_list_prefix};
    gScreenVarsHook = PREF_get_screen_vars;
    gProxyVars = {&gNet._proxy_host, &gNet._proxy_port, &gNet._proxy_port_int};
    gThreadGL.threaded_avail = [] { return gCaps.threaded_avail; };
    gThreadGL.setup_failed_alert = [] { gCaps.OGL_setup_failed_alert(); };
    gThreadGL.main_context = [] { return gWindows.hl_get_gl_context(); };
    gThreadGL.release_context = [] { return hl_make_current(nullptr, nullptr); };
    gThreadGL.make_main_current = [] { return hl_make_current(gWindows.window[0], gWindows.context[0]); };
    gThreadGL.make_loader_context = make_loader_gl_context;
    gInstallModal = {hl_open_window_at_pointer, install_modified_file_frame, install_two_choices_frame};
    gStartupMessageHook = draw_startup_message;
    gDisplayModeRefusedHook = hl_display_mode_refused;
}
