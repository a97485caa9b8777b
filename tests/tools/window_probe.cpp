// Test program: runs the start-up steps the window needs (window class, log, options, display
// mode check, window and context, layout), then the frame loop drawing a fixed test picture
// until the window is closed, then the shutdown. It prints what the tests check to stdout.
//
// Options (besides the program's own, such as --monitor_offset_x):
//   --window=WxH            windowed size asked for (default 800x600)
//   --fullscreen=desktop    full screen in the desktop's exact mode; or --fullscreen=WxHxBITSxHZ
//   --fsaa=N --vsync=A,B    multisample level wanted; the two vsync settings
//   --modes=WxHxBITSxHZ,... the modes display 0 says it offers, the desktop's current one first
//   --two                   opens the second window and closes it again before the frames
//   --no_window_class       leaves the window procedure out (creation must then fail)
//   --report                prints the OpenGL state after creation
//   --ready=N               prints "ready" after N frames (default 3)
//   --frames=N              ends after N frames (default: when the window is closed)
//   --timeout=S             ends after S seconds in any case (default 30, exit code 3)
//   --threads               starts the thread framework as start-up does (before the window) and
//                           its workers after the window
//   --thread_gl             starts a thread that asks for a context sharing the main one's
//                           objects, before driver detection, and prints what both threads had
//   --thread_gl_no_window   with --thread_gl: the thread finds no main window
//   --detect                runs driver detection after the window is made and prints what the
//                           rest of the program reads afterwards
#include "probe_common.h"
#include "foundation/HL_THREAD.h"
#include "foundation/options.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_view.h"
#include "graphics/TEX_units.h"
#include "graphics/hl_monitor.h"
#include "graphics/hl_window.h"

#include <GL/gl.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#ifndef GL_MULTISAMPLE
#define GL_MULTISAMPLE 0x809D
#endif
#ifndef GL_SAMPLES
#define GL_SAMPLES 0x80A9
#endif

static void dirty_bind_cache()
{
    gTexUnitCache.name[0] = 7;
    gTexUnitCache.mode[3] = 8;
}

static bool bind_cache_clear()
{
    for (int i = 0; i < 16; ++i)
        if (gTexUnitCache.name[i] != -1 || gTexUnitCache.mode[i] != -1) return false;
    return true;
}

static void say_rect(const char* label, PLAT_window* w)
{
    int x, y, cw, ch;
    PLAT_window_get_client_rect(w, &x, &y, &cw, &ch);
    say(std::string(label) + ": " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(cw) + " " +
        std::to_string(ch));
}

static void report_gl_state()
{
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    say("gl viewport: " + std::to_string(vp[0]) + " " + std::to_string(vp[1]) + " " + std::to_string(vp[2]) + " " +
        std::to_string(vp[3]));
    GLfloat pm[16];
    glGetFloatv(GL_PROJECTION_MATRIX, pm);
    char buf[256];
    snprintf(buf, sizeof buf, "gl projection: %.6f %.6f %.6f %.6f %.6f %.6f", pm[0], pm[5], pm[10], pm[12], pm[13],
             pm[14]);
    say(buf);
    GLint i = 0;
    GLboolean b = 0;
    auto on = [](GLenum cap) { return std::to_string(glIsEnabled(cap) ? 1 : 0); };
    glGetIntegerv(GL_FRONT_FACE, &i);
    say(std::string("gl front face cw: ") + (i == GL_CW ? "1" : "0"));
    glGetIntegerv(GL_CULL_FACE_MODE, &i);
    say(std::string("gl cull back: ") + (i == GL_BACK ? "1" : "0"));
    glGetIntegerv(GL_DEPTH_FUNC, &i);
    say(std::string("gl depth func lequal: ") + (i == GL_LEQUAL ? "1" : "0"));
    glGetBooleanv(GL_DEPTH_WRITEMASK, &b);
    say("gl depth write: " + std::to_string(b ? 1 : 0));
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &i);
    say("gl unpack alignment: " + std::to_string(i));
    glGetIntegerv(GL_PACK_ALIGNMENT, &i);
    say("gl pack alignment: " + std::to_string(i));
    glGetIntegerv(GL_BLEND_SRC, &i);
    GLint dst = 0;
    glGetIntegerv(GL_BLEND_DST, &dst);
    say(std::string("gl blend func: ") + (i == GL_SRC_ALPHA && dst == GL_ONE_MINUS_SRC_ALPHA ? "1" : "0"));
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &i);
    say(std::string("gl alpha func greater: ") + (i == GL_GREATER ? "1" : "0"));
    say("gl enabled cull/dither/color material/vertex array: " + on(GL_CULL_FACE) + on(GL_DITHER) +
        on(GL_COLOR_MATERIAL) + on(GL_VERTEX_ARRAY));
    say("gl disabled scissor/stencil/logic op/normalize/blend/depth test: " + on(GL_SCISSOR_TEST) +
        on(GL_STENCIL_TEST) + on(GL_COLOR_LOGIC_OP) + on(GL_NORMALIZE) + on(GL_BLEND) + on(GL_DEPTH_TEST));
    glGetIntegerv(GL_SAMPLES, &i);
    say("gl multisample: " + on(GL_MULTISAMPLE) + " samples " + std::to_string(i));
}

static void quad(float x0, float y0, float x1, float y1, bool clockwise)
{
    glBegin(GL_QUADS);
    if (clockwise) {
        glVertex2f(x0, y0);
        glVertex2f(x0, y1);
        glVertex2f(x1, y1);
        glVertex2f(x1, y0);
    } else {
        glVertex2f(x0, y0);
        glVertex2f(x1, y0);
        glVertex2f(x1, y1);
        glVertex2f(x0, y1);
    }
    glEnd();
}

// The test picture, in UI units from the bottom-left corner.
static void draw_picture()
{
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(1, 0, 0);
    quad(100, 50, 300, 150, true); // front-facing: drawn
    glColor3f(0, 1, 0);
    quad(400, 50, 500, 150, false); // back-facing: culled
    glColor3f(0, 0, 1);
    OGL_set_scissor(600, 50, 50, 50);
    quad(550, 0, 750, 200, true); // only the scissor box shows
    OGL_clear_scissor();
}

// The thread that asked for OpenGL: its own context must be current and share the main one's
// objects (the texture made before the start is one).
static GLuint gSharedTexture = 0;
static uint32_t gl_thread(void*)
{
    const GLubyte* v = glGetString(GL_VERSION);
    say(std::string("thread context: ") + (v ? "yes" : "no"));
    say(std::string("thread sees main texture: ") + (glIsTexture(gSharedTexture) ? "yes" : "no"));
    return 7;
}

static void run_gl_thread()
{
    glGenTextures(1, &gSharedTexture);
    glBindTexture(GL_TEXTURE_2D, gSharedTexture);
    glBindTexture(GL_TEXTURE_2D, 0);
    UTL_thread_handle t = nullptr, w = nullptr;
    uint32_t id = 0;
    PLAT_window* main_window = gWindows.window[0];
    if (CMDLINE_has_option("--thread_gl_no_window")) gWindows.window[0] = nullptr;
    THREAD_start(&gl_thread, nullptr, &t, &id, &w, 1);
    gWindows.window[0] = main_window;
    hl_make_current(main_window, gWindows.context[0]);
    say("thread exit code: " + std::to_string(THREAD_join(&t, &w)));
    const GLubyte* v = glGetString(GL_VERSION);
    say(std::string("main context back: ") + (v ? "yes" : "no"));
}

static void report_detection()
{
    say("after detection: glsl_avail " + std::to_string(gCaps.glsl_avail) + " vbo_avail " +
        std::to_string(gCaps.vbo_avail) + " pbo_avail " + std::to_string(gCaps.pbo_avail) + " threaded_avail " +
        std::to_string(gCaps.threaded_avail) + " first_gen_shaders " + std::to_string(gCaps.first_gen_shaders) +
        " max_tex_units " + std::to_string(gGLSettings.max_tex_units) + " max_tex_image_units " +
        std::to_string(gGLSettings.max_tex_image_units));
    say(std::string("active texture entry point: ") + (corvane::glActiveTextureARB ? "yes" : "no") +
        " bind buffer entry point: " + (gCaps.glBindBufferARB ? "yes" : "no"));
    // The entry points found must be the driver's working functions.
    if (corvane::glActiveTextureARB && gGLSettings.max_tex_units > 1) {
        corvane::glActiveTextureARB(GL_TEXTURE1);
        GLint unit = 0;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
        corvane::glActiveTextureARB(GL_TEXTURE0);
        say(std::string("active texture works: ") + (unit == GL_TEXTURE1 ? "yes" : "no"));
    }
    if (gCaps.glGenBuffersARB && gCaps.glBindBufferARB && gCaps.glIsBufferARB && gCaps.glDeleteBuffersARB) {
        GLuint b = 0;
        gCaps.glGenBuffersARB(1, &b);
        gCaps.glBindBufferARB(GL_ARRAY_BUFFER, b);
        say(std::string("buffer objects work: ") + (gCaps.glIsBufferARB(b) ? "yes" : "no"));
        gCaps.glBindBufferARB(GL_ARRAY_BUFFER, 0);
        gCaps.glDeleteBuffersARB(1, &b);
    }
}

static bool parse_size(const std::string& s, int* v, int n)
{
    size_t pos = 0;
    for (int i = 0; i < n; ++i) {
        size_t used = 0;
        try {
            v[i] = std::stoi(s.substr(pos), &used);
        } catch (...) {
            return false;
        }
        pos += used;
        if (i + 1 < n) {
            if (pos >= s.size() || s[pos] != 'x') return false;
            ++pos;
        }
    }
    return pos == s.size();
}

// The modes --modes lists (WxHxBITSxHZ,...), for display 0 only.
static int listed_modes(int display, PLAT_display_mode* out, int max)
{
    const std::string text = opt_str("--modes");
    int n = 0, used = 0;
    for (const char* p = text.c_str(); display == 0 && n < max; p += used + (p[used] == ','), ++n)
        if (sscanf(p, "%dx%dx%dx%d%n", &out[n].width, &out[n].height, &out[n].bits, &out[n].hz, &used) != 4) break;
    return n;
}

int main(int argc, char** argv)
{
    if (probe_begin(argc, argv).empty()) return 2;
    if (CMDLINE_has_option("--threads")) THREAD_init();
    if (!CMDLINE_has_option("--no_window_class")) hl_register_window_class();
    PLAT_display_modes_hook = listed_modes;

    gWindowedW = 800;
    gWindowedH = 600;
    if (CMDLINE_has_option("--window")) {
        int v[2];
        if (!parse_size(CMDLINE_get_option("--window"), v, 2)) return 2;
        gWindowedW = v[0];
        gWindowedH = v[1];
    }
    gGLSettings.texture_level = 5;
    gGLSettings.fsaa_wanted = opt_int("--fsaa", 0);
    if (CMDLINE_has_option("--vsync")) {
        std::string v = CMDLINE_get_option("--vsync");
        gGLSettings.use_vsync1 = atoi(v.c_str());
        size_t comma = v.find(',');
        gGLSettings.use_vsync2 = comma == std::string::npos ? 0 : atoi(v.c_str() + comma + 1);
    }
    if (CMDLINE_has_option("--fullscreen")) {
        std::string f = CMDLINE_get_option("--fullscreen");
        gFullScreen = 1;
        if (f == "desktop") {
            hl_get_desktop_mode(&gFullScreenW, &gFullScreenH, &gFullScreenBits, &gFullScreenHz);
        } else {
            int v[4];
            if (!parse_size(f, v, 4)) return 2;
            gFullScreenW = v[0];
            gFullScreenH = v[1];
            gFullScreenBits = v[2];
            gFullScreenHz = v[3];
        }
    }

    hl_fit_window_to_screen(1);
    say("full screen flag: " + std::to_string(gFullScreen));
    say("mode pending: " + std::to_string(hl_pending_display_mode(nullptr, nullptr, nullptr, nullptr)));

    dirty_bind_cache();
    if (!gWindows.hl_create_gl_window(0)) {
        say("window: failed");
        app_shutdown(1);
        return 1;
    }
    say("window: created");
    say(std::string("bind cache reset: ") + (bind_cache_clear() ? "yes" : "no"));
    gWindows.hl_set_window_count(1 + gWindows.second_wanted);
    hl_update_layout();
    say("size: " + std::to_string(gWindowW) + "x" + std::to_string(gWindowH));
    say("fsaa achieved: " + std::to_string(gGLSettings.fsaa_achieved));
    say("fullscreen window: " + std::to_string(PLAT_window_is_fullscreen(gWindows.window[0])));
    say_rect("window rect", gWindows.window[0]);
    if (CMDLINE_has_option("--report")) report_gl_state();
    if (CMDLINE_has_option("--thread_gl")) run_gl_thread();
    if (CMDLINE_has_option("--detect")) {
        gCaps.OGL_init_extensions();
        report_detection();
    }
    if (CMDLINE_has_option("--threads")) {
        THREAD_init_workers();
        say("workers: " + std::to_string(gWorkerPool ? gWorkerPool->thread_count() : -1));
    }

    if (CMDLINE_has_option("--two")) {
        dirty_bind_cache();
        gWindows.hl_set_window_count(2);
        say("count: " + std::to_string(gWindows.hl_set_window_count(-1)));
        say(std::string("second window: ") + (gWindows.window[1] ? "yes" : "no"));
        say_rect("second rect", gWindows.window[1]);
        say(std::string("bind cache reset: ") + (bind_cache_clear() ? "yes" : "no"));
        dirty_bind_cache();
        gWindows.hl_set_window_count(1);
        say("count: " + std::to_string(gWindows.hl_set_window_count(-1)));
        say(std::string("second window: ") + (gWindows.window[1] ? "yes" : "no"));
        say(std::string("bind cache reset: ") + (bind_cache_clear() ? "yes" : "no"));
    }

    const int ready_at = opt_int("--ready", 3);
    const int max_frames = opt_int("--frames", 0);
    const int timeout_s = opt_int("--timeout", 30);
    auto start = std::chrono::steady_clock::now();
    int frames = 0;
    bool timed_out = false;
    while (!gQuit) {
        if (max_frames > 0 && frames >= max_frames) break;
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(timeout_s)) {
            timed_out = true;
            break;
        }
        draw_picture();
        hl_do_frame();
        ++frames;
        if (frames == ready_at) say("ready");
    }
    say("frames: " + std::to_string(frames >= ready_at ? 1 : 0) + " quit: " + std::to_string(gQuit));

    // The shutdown's own first step, shown before the window goes.
    hl_fit_window_to_screen(0);
    say("after restore full screen flag: " + std::to_string(gFullScreen));
    say("after restore fullscreen window: " + std::to_string(PLAT_window_is_fullscreen(gWindows.window[0])));
    app_shutdown(1);
    say("shut down");
    return timed_out ? 3 : 0;
}
