// Test program for the 2D drawing primitives and the backdrop: makes the window as start-up does
// (window, driver detection, render options, texture manager), runs one scenario and prints what
// the tests check to stdout.
//
//   --scenario=draw     draws the test picture (lines, rectangles, textured quads with and without
//                       a popup origin, colours 42 and 43 under a red gain of 0.5, the backdrop
//                       fill under a popup) every frame until the window is closed; prints the
//                       cached texture units after a 12-unit quad (with the driver's limit set to
//                       4) and after a rectangle, and "ready" after a few frames
//   --scenario=backtex  builds the backdrop tiles from Resources/bitmaps/intro.png below the
//                       working folder and writes the 16 tiles as OpenGL holds them to tiles-a.rgba;
//                       with --second=FILE, FILE then becomes intro.png and a second build writes
//                       tiles-b.rgba (with --thread, on a thread with a context of its own, after
//                       which the probe says whether the main thread's caches were left alone);
//                       with --after_popup, a frame opens the whole window, intro.png
//                       is removed and a third build writes tiles-c.rgba. The tiles' texture names
//                       are printed after each build.
#include "probe_common.h"
#include "foundation/HL_THREAD.h"
#include "foundation/app_folder.h"
#include "foundation/options.h"
#include "frame/hl_colors.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "graphics/OGL_back_tex.h"
#include "graphics/OGL_draw.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_state.h"
#include "graphics/OGL_view.h"
#include "graphics/TEX_obj.h"
#include "graphics/TEX_units.h"
#include "graphics/hl_monitor.h"
#include "graphics/hl_window.h"
#include "graphics/tman.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

// ---- the drawing scenario ----

static const int kProbeSlot = 1050;

// A 64 x 64 texture of four quadrants, bottom row first: red and green below, blue and white above.
static void load_probe_texture()
{
    uint32_t* px = (uint32_t*)gScratchPixels;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            px[y * 64 + x] = y < 32 ? (x < 32 ? 0xFF0000FFu : 0xFF00FF00u) : (x < 32 ? 0xFFFF0000u : 0xFFFFFFFFu);
    gScratchWidth = 64;
    gScratchHeight = 64;
    say("probe texture: " + std::to_string(gTextures.load_bitmap(0, kProbeSlot, 0x602, 2, "scratch_array-draw probe")));
}

static void popup_at(float x, float y)
{
    gPopupX = x;
    gPopupY = y;
}

static void tex_square(int ref, float x, float y, int units)
{
    OGL_draw_tex_quad(ref, 0, 1.0f, x, y, 0, 0, x, y + 64, 0, 1, x + 64, y + 64, 1, 1, x + 64, y, 1, 0, units, 0, 0);
}

// Which of the first eight units have GL_TEXTURE_2D on, as OpenGL says.
static std::string enabled_units()
{
    std::string s;
    GLint n = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &n);
    for (int i = 0; i < 8 && i < n; ++i) {
        corvane::glActiveTextureARB(GL_TEXTURE0 + i);
        s += glIsEnabled(GL_TEXTURE_2D) ? '1' : '0';
    }
    corvane::glActiveTextureARB(GL_TEXTURE0);
    return s;
}

static void draw_picture(bool report)
{
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    // The backdrop under a popup at (200, 100) still covers the whole window.
    gPopup = 2;
    popup_at(200, 100);
    OGL_fill_backdrop();
    gPopup = 0;
    popup_at(0, 0);

    OGL_draw_line(0, 1, 10, 10, 110, 10);   // row 10
    OGL_draw_line(0, 1, 150, 10, 150, 110); // column 150
    OGL_draw_rect(10, 1, 400, 20, 100, 50); // (400, 20) to (500, 70)
    OGL_draw_rect(0, 1, 600, 20, 0, 50);    // degenerate: nothing
    OGL_draw_rect(0, 1, 620, 20, 50, 0);
    OGL_draw_rect(0, 0.5f, 600, 400, 50, 50); // half white over the backdrop

    popup_at(300, 40);
    OGL_draw_line(81, 1, 0, 0, 50, 0);   // window row 40 from 300
    OGL_draw_rect(15, 1, 0, 20, 60, 30); // window (300, 60) to (360, 90)
    popup_at(0, 0);

    gInterface.red_gain = 0.5f;
    OGL_draw_rect(42, 1, 600, 200, 50, 50); // red halved
    OGL_draw_line(42, 1, 600, 300, 650, 300);
    OGL_draw_rect(10, 1, 700, 200, 100, 100);
    OGL_draw_rect(43, 1, 720, 220, 60, 60); // raw: full red
    gInterface.red_gain = 1.0f;

    tex_square(kProbeSlot, 800, 400, 1);
    tex_square(0, 900, 400, 1); // binds nothing: the same texture is still bound
    popup_at(50, 300);
    tex_square(kProbeSlot, 0, 0, 1); // window (50, 300) to (114, 364)
    popup_at(0, 0);

    // Twelve units asked for, off screen, of a driver that has four.
    const int driver_units = gGLSettings.max_tex_units;
    gGLSettings.max_tex_units = 4;
    tex_square(kProbeSlot, -200, -200, 12);
    if (report)
        say("after 12 units: cached " + std::to_string(gOGLState.tex_units) + " max " +
            std::to_string(gGLSettings.max_tex_units) + " enabled " + enabled_units());
    OGL_draw_rect(0, 1, -200, -200, 10, 10);
    if (report) say("after a rectangle: cached " + std::to_string(gOGLState.tex_units) + " enabled " + enabled_units());
    gGLSettings.max_tex_units = driver_units;
}

static void scenario_draw()
{
    COL_set_color(43, 0.8f, 0.4f, 0.2f);
    load_probe_texture();
    auto start = std::chrono::steady_clock::now();
    for (int n = 0; !gQuit; ++n) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(60)) break;
        draw_picture(n == 0);
        hl_do_frame();
        if (n + 1 == 3) say("ready");
    }
}

// ---- the backdrop scenario ----

static std::string tile_names()
{
    std::string s;
    for (int slot = 1027; slot <= 1042; ++slot) {
        TEX_obj* t = gTextures.get_tex(slot);
        s += (s.empty() ? "" : " ") + std::to_string(t ? t->gl_name.load() : 0);
    }
    return s;
}

// The 16 tiles, each 512 x 512 RGBA as OpenGL holds it (row 0 first), in slot order.
static void dump_tiles(const std::string& file)
{
    std::vector<unsigned char> buf((size_t)512 * 512 * 4);
    FILE* f = fopen(file.c_str(), "wb");
    if (!f) return;
    int loaded = 0;
    for (int slot = 1027; slot <= 1042; ++slot) {
        if (gTextures.is_loaded(slot)) ++loaded;
        TEX_obj* t = gTextures.get_tex(slot);
        std::fill(buf.begin(), buf.end(), 0);
        if (t) {
            glBindTexture(GL_TEXTURE_2D, t->gl_name.load());
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, buf.data());
        }
        fwrite(buf.data(), 1, buf.size(), f);
    }
    fclose(f);
    TEX_reset_bind_cache(); // the binds above went around the cache
    say("loaded: " + std::to_string(loaded));
}

static uint32_t build_on_thread(void*)
{
    OGL_build_back_tex();
    return 0;
}

// The second build on a thread that shares the main context's objects: it must bind directly and
// leave the main thread's state and binding caches as they were.
static void build_on_a_thread()
{
    gCaps.threaded_avail = 1; // detection cleared it; this program shares the context on purpose
    OGL_set_state(1, 0, 1, 0, 1, 1); // not what the build would set
    TEX_reset_bind_cache();
    const OGL_state_cache before = gOGLState;
    UTL_thread_handle t = nullptr, w = nullptr;
    uint32_t id = 0;
    THREAD_start(&build_on_thread, nullptr, &t, &id, &w, 1);
    THREAD_join(&t, &w);
    const OGL_state_cache& now = gOGLState;
    bool same = before.blend_on == now.blend_on && before.tex_units == now.tex_units &&
                before.last_tex_units == now.last_tex_units && before.fog_off == now.fog_off &&
                before.lighting_off == now.lighting_off && before.alpha_test_on == now.alpha_test_on;
    for (int i = 0; i < 16; ++i) same = same && gTexUnitCache.name[i] == -1 && gTexUnitCache.mode[i] == -1;
    say(std::string("thread left the caches alone: ") + (same ? "yes" : "no"));
}

static void scenario_backtex()
{
    const std::string intro = gAppFolder + "Resources/bitmaps/intro.png";
    gPopup = -1; // as start-up leaves it before its first popup
    OGL_build_back_tex();
    say("names a: " + tile_names());
    dump_tiles("tiles-a.rgba");
    const std::string second = opt_str("--second");
    if (!second.empty()) {
        if (rename(second.c_str(), intro.c_str()) != 0) say("rename failed");
        if (CMDLINE_has_option("--thread"))
            build_on_a_thread();
        else
            OGL_build_back_tex();
        say("names b: " + tile_names());
        dump_tiles("tiles-b.rgba");
    }
    if (CMDLINE_has_option("--after_popup")) {
        hl_do_frame(); // the first frame opens the whole window, popup 0
        unlink(intro.c_str());
        OGL_build_back_tex();
        say("names c: " + tile_names());
        dump_tiles("tiles-c.rgba");
    }
}

int main(int argc, char** argv)
{
    gAppFolder = probe_begin(argc, argv);
    if (gAppFolder.empty()) return 2;
    gGLSettings.texture_level = 5;
    const std::string scenario = opt_str("--scenario");
    if (CMDLINE_has_option("--thread")) THREAD_init();
    probe_make_window(1024, 768);
    if (scenario == "draw") scenario_draw();
    if (scenario == "backtex") scenario_backtex();
    app_shutdown(1);
    say("shut down");
    return 0;
}
