// Where the screen-resolution preferences find the display, OpenGL and language settings.
#include "frame/screen_prefs.h"

#include "frame/hl_init.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_view.h"
#include "graphics/hl_window.h"

void PREF_get_screen_vars(PREF_screen_vars& out)
{
    out.windowed_w = &gWindowedW;
    out.windowed_h = &gWindowedH;
    out.full_w = &gFullScreenW;
    out.full_h = &gFullScreenH;
    out.full_hz = &gFullScreenHz;
    out.full_bits = &gFullScreenBits;
    out.full_screen = &gFullScreen;
    out.use_vsync1 = &gGLSettings.use_vsync1;
    out.use_vsync2 = &gGLSettings.use_vsync2;
    out.fsaa_wanted = &gGLSettings.fsaa_wanted;
    out.language = &gLanguage;
    out.second_wanted = &gWindows.second_wanted;
    out.window_count = gWindows.hl_set_window_count(-1);
}
