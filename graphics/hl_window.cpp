// Main window, second window and their OpenGL contexts (see hl_window.h).
#include "graphics/hl_window.h"

#include "foundation/log.h"
#include "foundation/options.h"
#include "graphics/OGL_back_tex.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_state.h"
#include "graphics/OGL_view.h"
#include "graphics/TEX_units.h"
#include "graphics/hl_monitor.h"

#include <GL/gl.h>
#include <chrono>

#ifndef GL_LIGHT_MODEL_COLOR_CONTROL
#define GL_LIGHT_MODEL_COLOR_CONTROL 0x81F8
#endif
#ifndef GL_SEPARATE_SPECULAR_COLOR
#define GL_SEPARATE_SPECULAR_COLOR 0x81FA
#endif
#ifndef GL_MULTISAMPLE
#define GL_MULTISAMPLE 0x809D
#endif

hl_gl_windows gWindows;
int gWindowCreated = 0;
int gWindowCount = 1;

int hl_make_current(PLAT_window* w, PLAT_gl_context* c)
{
    int r = PLAT_gl_make_current(w, c);
    TEX_reset_bind_cache();
    gOGLState.color_known = 0; // each context has a current colour of its own
    return r;
}

int hl_parse_offset(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                               text[i] == '\v' || text[i] == '\f'))
        ++i;
    bool neg = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > 2147483648LL) v = 2147483648LL;
    }
    if (neg) v = -v;
    if (v > 2147483647LL) v = 2147483647LL;
    return (int)v;
}

void hl_plan_window(int n, int* x_out, int* y_out, int* bordered_out)
{
    int x = 0, y = 0;
    if (CMDLINE_has_option("--monitor_offset_x")) x += hl_parse_offset(CMDLINE_get_option("--monitor_offset_x"));
    if (CMDLINE_has_option("--monitor_offset_y")) y += hl_parse_offset(CMDLINE_get_option("--monitor_offset_y"));

    // When the monitor's mode cannot be read the window is sized against the smallest screen
    // the program supports.
    int mw = 1024, mh = 768, bits = 0, hz = 0;
    hl_get_monitor_info(0, nullptr, nullptr, &mw, &mh, &bits, &hz);

    if (n == 1) x = gFullScreen ? mw : gWindowedW;

    if (gWindowedW > mw || gWindowedH > mh) {
        gLog << "The window was last: " << gWindowedW << "," << gWindowedH << " and my monitor is " << mw << ","
             << mh << ".  Setting window to 1024x768 it fits on screen.\n";
        gWindowedW = 1024;
        gWindowedH = 768;
    }

    if (!gFullScreen) {
        gWindowW = gWindowedW;
        gWindowH = gWindowedH;
    } else {
        gWindowW = gFullScreenW ? gFullScreenW : mw;
        gWindowH = gFullScreenH ? gFullScreenH : mh;
    }

    *x_out = x;
    *y_out = y;
    *bordered_out = (!gFullScreen && mh > gWindowedH) ? 1 : 0;
}

// Samples per multisample level 1 to 4.
static const int kSamplesOfLevel[5] = {0, 2, 4, 8, 16};

int hl_choose_multisample(int fsaa_wanted, int can_choose, int (*try_samples)(int, void*), void* data)
{
    int achieved = 0;
    int succeeded = 0;
    for (int level = 4; level >= 1; --level) {
        if (fsaa_wanted < level || !can_choose || succeeded) continue;
        succeeded = try_samples(kSamplesOfLevel[level], data);
        achieved = level;
    }
    return succeeded ? achieved : 0;
}

void hl_set_swap_interval(int (*set_interval)(int))
{
    int interval = 2 * gGLSettings.use_vsync2 + gGLSettings.use_vsync1;
    const int result = set_interval(interval);
    if (result == -1)
        gLog << "Warning: unable to set vsync - your video card's driver does not support setting v-sync from "
                "Corvane.\n";
    else if (result != 0)
        gLog << "WARNING: the video driver refused the swap interval " << interval
             << "; it keeps its own.\n";
}

// The multisampled surface asks for 16 depth bits (the plain one for 32).
static PLAT_gl_format multisample_format(int samples)
{
    PLAT_gl_format f;
    f.color_bits = 24;
    f.alpha_bits = 8;
    f.depth_bits = 16;
    f.stencil_bits = 0;
    f.double_buffer = 1;
    f.samples = samples;
    return f;
}

static int try_multisample_format(int samples, void*)
{
    return PLAT_gl_format_available(multisample_format(samples));
}

// The window procedure answers the creation event; it is taken from the queue here, since
// nothing else runs the pump yet. Bounded, so a missing window procedure cannot hang start-up.
static int wait_for_creation()
{
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!gWindowCreated) {
        if (std::chrono::steady_clock::now() > until) return 0;
        if (PLAT_pump_events() == 0) PLAT_wait_event(1);
    }
    return 1;
}

// Steps shared by the first making and the multisampled re-making of window n.
static int make_window_and_context(int n, int x, int y, int bordered)
{
    PLAT_window* w = PLAT_create_gl_window("Hangaron", x, y, gWindowW, gWindowH, bordered, gWindows.pixel_format);
    if (!w) return 0;
    gWindows.window[n] = w;
    if (!wait_for_creation()) return 0;
    PLAT_show_window(w);
    if (n == 0) {
        hl_apply_display_mode();
        // A refused mode can have brought the window back to its windowed size.
        if (!gFullScreen) {
            gWindowW = gWindowedW;
            gWindowH = gWindowedH;
        }
    }
    // The second window's context shares objects with the main one, which is current now.
    gWindows.context[n] = PLAT_gl_create_context(w, n == 1);
    if (!gWindows.context[n]) return 0;
    if (hl_make_current(w, gWindows.context[n]) != 0) return 0;
    return 1;
}

static void initial_gl_state()
{
    const GLfloat ambient[4] = {0, 0, 0, 0};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glAlphaFunc(GL_GREATER, 0.0f);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthFunc(GL_LEQUAL);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glHint(GL_FOG_HINT, GL_FASTEST);
    glFrontFace(GL_CW);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_DITHER);
    glDisable(GL_LOGIC_OP);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_NORMALIZE);
    glDisable(GL_SCISSOR_TEST);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    if (gGLSettings.fsaa_achieved > 0) glEnable(GL_MULTISAMPLE);
    glDepthMask(GL_FALSE);
    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    glEnableClientState(GL_VERTEX_ARRAY);
}

int hl_gl_windows::hl_create_gl_window(int n)
{
    if (n < 0 || n > 1) return 0;
    int x = 0, y = 0, bordered = 0;
    hl_plan_window(n, &x, &y, &bordered);

    if (n == 1) {
        OGL_set_blend(0);
        OGL_set_depth(1, 1);
        OGL_set_state(1, 0, 1, 0, 1, 1);
    }

    // The plain surface: double-buffered, the desktop's colour depth, 32 depth bits.
    PLAT_gl_format plain;
    plain.color_bits = gColorBits & 0xFF;
    plain.alpha_bits = 0;
    plain.depth_bits = 32;
    plain.stencil_bits = 0;
    plain.double_buffer = 1;
    plain.samples = 0;
    pixel_format = plain;
    if (!make_window_and_context(n, x, y, bordered)) return 0;

    if (gGLSettings.fsaa_wanted > 0) {
        int can_choose = PLAT_gl_has_extension("GL_ARB_multisample");
        gGLSettings.fsaa_achieved = hl_choose_multisample(gGLSettings.fsaa_wanted, can_choose, try_multisample_format, nullptr);
        if (gGLSettings.fsaa_achieved > 0) {
            hl_make_current(window[n], nullptr);
            PLAT_gl_delete_context(context[n]);
            context[n] = nullptr;
            PLAT_destroy_window(window[n]);
            window[n] = nullptr;
            gWindowCreated = 0;
                    pixel_format = multisample_format(kSamplesOfLevel[gGLSettings.fsaa_achieved]);
            // The main context must be current for the second window's context to share with it.
            if (n == 1) hl_make_current(window[0], context[0]);
            if (!make_window_and_context(n, x, y, bordered)) return 0;
        }
    }

    hl_set_swap_interval(PLAT_gl_set_swap_interval);
    initial_gl_state();

    if (n == 1) hl_make_current(window[0], context[0]);
    return 1;
}

int hl_gl_windows::hl_set_window_count(int n)
{
    if (n < 0) return gWindowCount;
    if (n == 2 && gWindowCount == 1) {
        hl_create_gl_window(1);
        if (window[1]) {
            hl_make_current(window[1], context[0]);
            OGL_build_back_tex();
        }
    } else if (n == 1 && gWindowCount == 2) {
        if (window[1]) hl_make_current(window[1], nullptr);
        PLAT_gl_delete_context(context[1]);
        context[1] = nullptr;
        PLAT_destroy_window(window[1]);
        hl_make_current(window[0], context[0]);
        window[1] = nullptr;
    }
    gWindowCount = n;
    return 0;
}

void hl_gl_windows::hl_destroy_gl_window(int n)
{
    if (n < 0 || n > 1) return;
    if (window[n] || context[n]) hl_make_current(window[n], nullptr);
    PLAT_gl_delete_context(context[n]);
    context[n] = nullptr;
    PLAT_destroy_window(window[n]);
    if (n == 1 && window[0] && context[0]) hl_make_current(window[0], context[0]);
    window[n] = nullptr;
}

PLAT_gl_context* hl_gl_windows::hl_get_gl_context()
{
    return context[0];
}
