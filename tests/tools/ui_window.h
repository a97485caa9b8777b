// The window as start-up makes it for the interface: 800 x 600 with its OpenGL context, driver
// detection, render options and texture manager, the interface sheet in slot 1020 and the
// colours sampled from it, the first popup laid out and the UI ready. Shared by the popup test
// program and the widget tests, which run it in-process. The window class (with its procedure)
// must be registered first.
#pragma once
#include "frame/hl_colors.h"
#include "frame/hl_init.h"
#include "frame/hl_popup.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_view.h"
#include "graphics/TEX_png.h"
#include "graphics/hl_window.h"
#include "graphics/tman.h"

#include "../support/test_support.h"

#include <GL/gl.h>
#include <cstdlib>
#include <memory>

// Decodes the interface picture into the scratch buffer, samples the thirteen colours (and 48)
// and loads the sheet into slot 1020.
inline bool UI_load_interface()
{
    xmap_file view("RESOURCE:interface.png");
    TEX_image_info info;
    unsigned char* pixels = gScratchPixels;
    if (!view.begin || !TEX_load_png("interface.png", view, &pixels, TMAN_SCRATCH_BYTES, GL_RGBA, 0, 0,
                                     TEX_rule_keep, 1, info, nullptr))
        return false;
    gScratchWidth = info.width;
    gScratchHeight = info.height;
    // Picture (x, y) from its top-left corner; the reader stores the bottom row first.
    static const struct {
        int index, x, y;
    } kSamples[] = {{43, 319, 356}, {44, 319, 364}, {45, 319, 372}, {46, 319, 380}, {47, 319, 388},
                    {49, 319, 396}, {50, 319, 404}, {51, 319, 412}, {52, 319, 420}, {54, 319, 428},
                    {55, 319, 436}, {56, 319, 444}, {53, 395, 396}};
    for (const auto& s : kSamples) {
        const unsigned char* p = gScratchPixels + ((size_t)(info.height - 1 - s.y) * info.width + s.x) * 4;
        COL_set_color(s.index, p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f);
    }
    COL_set_color(48, (gColors[47][0] + gColors[44][0]) / 2.0f, (gColors[47][1] + gColors[44][1]) / 2.0f,
                  (gColors[47][2] + gColors[44][2]) / 2.0f);
    gTextures.load_bitmap(0, 1020, 0x80242, 2, "scratch_array-interface");
    return gTextures.is_loaded(1020);
}

// A w x h window with its context, driver detection, render options and texture manager.
inline bool UI_make_gl_window(int w, int h)
{
    gWindowedW = w;
    gWindowedH = h;
    hl_fit_window_to_screen(1);
    if (!gWindows.hl_create_gl_window(0)) return false;
    gWindows.hl_set_window_count(1);
    hl_update_layout();
    gCaps.OGL_init_extensions();
    gGLSettings.RENO_reset_options();
    gTextures.init();
    return true;
}

inline bool UI_open_window()
{
    gGLSettings.texture_level = 5;
    if (!UI_make_gl_window(800, 600) || !UI_load_interface()) return false;
    hl_open_window(-1);
    hl_update_layout();
    gUIReady = 1;
    return true;
}

// For tests that open the window in their own process: a fresh Xvfb in x, the program's
// environment pointed at it with Mesa's software rasterizer, the window class with the frame's
// procedure, and the window. False when any of them fails.
inline bool UI_open_window_on_xvfb(std::unique_ptr<TS_xvfb>& x)
{
    x = std::make_unique<TS_xvfb>();
    if (!TS_xvfb_start(*x, "1280x1024x24")) return false;
    setenv("DISPLAY", x->display.c_str(), 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    unsetenv("WAYLAND_DISPLAY");
    hl_register_window_class();
    return UI_open_window();
}
