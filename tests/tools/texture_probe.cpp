// Test program for the OpenGL state cache, the texture-unit cache and the texture manager: makes
// the window as start-up does (window, driver detection, render options, texture manager), runs
// one scenario and prints what the tests check to stdout.
//
//   --scenario=state     a bounded random run of state and bind calls, then the caches against
//                        what OpenGL reports, and every combiner recipe as OpenGL holds it
//   --scenario=repeat    a fixed run of state and bind calls, glFinish, the same run again,
//                        glFinish (under apitrace the second run must issue nothing)
//   --scenario=draw      --dir=D: loads the pictures of D (see kDrawList) and draws them at 1:1;
//                        prints "ready" after a few frames and ends when a file "stop" appears
//                        in its working folder
//   --scenario=manager   --dir=D: dynamic and fixed slots, failed loads, missing-texture flags
//   --scenario=thread    --dir=D: reloads a fixed slot on a thread with a shared context
//   --scenario=alert     --which=W: one range alert (no window)
//   --level=N            texture-resolution level (default 5)
//   --seed=N --steps=N   the random run
#include "probe_common.h"
#include "foundation/HL_THREAD.h"
#include "foundation/options.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "graphics/COL_scheme.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_state.h"
#include "graphics/OGL_view.h"
#include "graphics/TEX_units.h"
#include "graphics/hl_monitor.h"
#include "graphics/hl_window.h"
#include "graphics/tman.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

extern float gPerfKillTex;

// ---- the random run ----

static uint32_t sRand = 1;
static int rnd(int n)
{
    sRand = sRand * 1103515245u + 12345u;
    return (int)((sRand >> 8) % (uint32_t)n);
}

static int sMismatches = 0;
static void expect(bool ok, const std::string& what)
{
    if (ok) return;
    ++sMismatches;
    if (sMismatches < 20) say("mismatch: " + what);
}

static int gl_on(GLenum cap)
{
    return glIsEnabled(cap) ? 1 : 0;
}

// Modes the random run uses: every recipe, the plain environment modes, 0 and 33.
static const int kModes[] = {0, 1, 2, 3, 4, 5, 6, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26,
                             27, 28, 29, 30, 31, 32, 33, GL_MODULATE, GL_REPLACE, GL_DECAL, GL_ADD, GL_BLEND};

static bool has_recipe(int mode)
{
    return (mode >= 1 && mode <= 6) || (mode >= 14 && mode <= 32);
}

static void check_caches()
{
    const OGL_state_cache& c = gOGLState;
    if (c.blend_known) expect(gl_on(GL_BLEND) == c.blend_on, "blend");
    if (c.alpha_test_known) expect(gl_on(GL_ALPHA_TEST) == c.alpha_test_on, "alpha test");
    if (c.depth_test_known) expect(gl_on(GL_DEPTH_TEST) == !c.depth_test_off, "depth test");
    GLboolean mask = 0;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    expect((mask ? 1 : 0) == !c.depth_write_off, "depth write");
    if (c.fog_known) expect(gl_on(GL_FOG) == !c.fog_off, "fog");
    if (c.lighting_known) {
        expect(gl_on(GL_LIGHTING) == !c.lighting_off, "lighting");
        expect(gl_on(GL_LIGHT0) == !c.lighting_off, "light 0");
    }
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    expect(active == GL_TEXTURE0, "active unit " + std::to_string(active - GL_TEXTURE0));
    // The fixed-function units (enables and environments) are fewer than the image units.
    GLint ff_units = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &ff_units);
    for (int u = 0; u < 16; ++u) {
        corvane::glActiveTextureARB(GL_TEXTURE0 + u);
        if (c.tex_units_known && u < 8 && u < ff_units)
            expect(gl_on(GL_TEXTURE_2D) == (u < c.tex_units), "texture 2D on unit " + std::to_string(u));
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        if (gTexUnitCache.name[u] != -1)
            expect(bound == gTexUnitCache.name[u], "binding of unit " + std::to_string(u) + ": " +
                                                       std::to_string(bound) + " cached " +
                                                       std::to_string(gTexUnitCache.name[u]));
        if (gTexUnitCache.mode[u] != -1 && u < ff_units) {
            GLint mode = 0;
            glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
            const int m = gTexUnitCache.mode[u];
            const int want = gCaps.combine_avail && has_recipe(m) ? GL_COMBINE : m;
            expect(mode == want, "environment of unit " + std::to_string(u));
        }
    }
    corvane::glActiveTextureARB(GL_TEXTURE0);
}

// The recipe the unit's environment holds, in the notation P.rgb / T.a / K.1-a / Q.rgb.
static std::string arg_text(GLenum src, GLenum op)
{
    std::string s = src == GL_PREVIOUS ? "P" : src == GL_TEXTURE ? "T" : src == GL_CONSTANT ? "K"
                    : src == GL_PRIMARY_COLOR ? "Q" : "?";
    s += op == GL_SRC_COLOR ? ".rgb" : op == GL_SRC_ALPHA ? ".a" : op == GL_ONE_MINUS_SRC_ALPHA ? ".1-a" : ".?";
    return s;
}

static std::string func_text(GLint f)
{
    switch (f) {
    case GL_REPLACE: return "REPLACE";
    case GL_MODULATE: return "MODULATE";
    case GL_ADD: return "ADD";
    case GL_INTERPOLATE: return "INTERPOLATE";
    case GL_SUBTRACT: return "SUBTRACT";
    default: return "?";
    }
}

static int arg_count(GLint f)
{
    return f == GL_REPLACE ? 1 : f == GL_INTERPOLATE ? 3 : 2;
}

static std::string env_text()
{
    GLint mode = 0, frgb = 0, fa = 0;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    if (mode != GL_COMBINE) return "mode " + std::to_string(mode);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_COMBINE_RGB, &frgb);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, &fa);
    static const GLenum kSrcRgb[3] = {GL_SOURCE0_RGB, GL_SOURCE1_RGB, GL_SOURCE2_RGB};
    static const GLenum kOpRgb[3] = {GL_OPERAND0_RGB, GL_OPERAND1_RGB, GL_OPERAND2_RGB};
    static const GLenum kSrcA[3] = {GL_SOURCE0_ALPHA, GL_SOURCE1_ALPHA, GL_SOURCE2_ALPHA};
    static const GLenum kOpA[3] = {GL_OPERAND0_ALPHA, GL_OPERAND1_ALPHA, GL_OPERAND2_ALPHA};
    std::string s = func_text(frgb) + "(";
    for (int i = 0; i < arg_count(frgb); ++i) {
        GLint src = 0, op = 0;
        glGetTexEnviv(GL_TEXTURE_ENV, kSrcRgb[i], &src);
        glGetTexEnviv(GL_TEXTURE_ENV, kOpRgb[i], &op);
        s += (i ? ", " : "") + arg_text(src, op);
    }
    s += ") " + func_text(fa) + "(";
    for (int i = 0; i < arg_count(fa); ++i) {
        GLint src = 0, op = 0;
        glGetTexEnviv(GL_TEXTURE_ENV, kSrcA[i], &src);
        glGetTexEnviv(GL_TEXTURE_ENV, kOpA[i], &op);
        s += (i ? ", " : "") + arg_text(src, op);
    }
    GLfloat rs = 0, as = 0, col[4] = {};
    glGetTexEnvfv(GL_TEXTURE_ENV, GL_RGB_SCALE, &rs);
    glGetTexEnvfv(GL_TEXTURE_ENV, GL_ALPHA_SCALE, &as);
    glGetTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, col);
    char buf[128];
    snprintf(buf, sizeof buf, ") scale %g %g colour %g %g %g %g", rs, as, col[0], col[1], col[2], col[3]);
    return s + buf;
}

static GLuint sNames[5];

static void make_names()
{
    glGenTextures(5, sNames);
    for (GLuint n : sNames) {
        glBindTexture(GL_TEXTURE_2D, n);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, "\x80\x80\x80");
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    TEX_reset_bind_cache();
}

static void scenario_state()
{
    sRand = (uint32_t)opt_int("--seed", 1);
    const int steps = opt_int("--steps", 3000);
    make_names();
    say("max units: " + std::to_string(gGLSettings.max_tex_units) + " combine: " + std::to_string(gCaps.combine_avail));
    for (int i = 0; i < steps; ++i) {
        switch (rnd(4)) {
        case 0:
            OGL_set_state(rnd(2), rnd(12) - 1, rnd(2), rnd(4), rnd(2), rnd(2));
            break;
        case 1:
            OGL_set_blend(rnd(4));
            break;
        case 2:
            OGL_set_depth(rnd(2), rnd(2));
            break;
        default: {
            int unit = rnd(20) == 0 ? 16 + rnd(4) : rnd(16);
            if (rnd(40) == 0) unit = -1 - rnd(3);
            TEX_bind_unit(sNames[rnd(5)], unit, kModes[rnd(sizeof kModes / sizeof kModes[0])], GL_TEXTURE_2D);
            break;
        }
        }
        // Now and then, and at the end, the caches must agree with OpenGL.
        if (i % 500 == 499 || i == steps - 1) check_caches();
    }
    say("random steps: " + std::to_string(steps) + " mismatches: " + std::to_string(sMismatches));
    // Binding on units from 16 up sets environments that only exist on the fixed-function units.
    while (glGetError() != GL_NO_ERROR) {
    }

    // An unknown blend mode touches neither enable and records both as off.
    OGL_set_blend(3);
    OGL_set_blend(5);
    say("blend mode 5: gl " + std::to_string(gl_on(GL_BLEND)) + std::to_string(gl_on(GL_ALPHA_TEST)) + " cached " +
        std::to_string(gOGLState.blend_on) + std::to_string(gOGLState.alpha_test_on));

    // Every recipe as OpenGL holds it, on unit 1.
    const GLfloat grey[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    for (int m = 1; m <= 32; ++m) {
        if (!has_recipe(m)) continue;
        // A colour the recipe does not set stays at this grey.
        corvane::glActiveTextureARB(GL_TEXTURE1);
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, grey);
        corvane::glActiveTextureARB(GL_TEXTURE0);
        TEX_bind_unit(sNames[0], 1, m, GL_TEXTURE_2D);
        corvane::glActiveTextureARB(GL_TEXTURE1);
        say("recipe " + std::to_string(m) + ": " + env_text());
        corvane::glActiveTextureARB(GL_TEXTURE0);
    }
    while (glGetError() != GL_NO_ERROR) {
    }

    // The debugging switch: every texture but the interface sheet draws as the placeholder.
    gPerfKillTex = 1.0f;
    GLint bound = 0;
    TEX_bind_unit(57, 0, 0, GL_TEXTURE_2D);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    say("kill_tex 57 binds: " + std::to_string(bound));
    TEX_bind_unit(1020, 0, 0, GL_TEXTURE_2D);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    say("kill_tex 1020 binds: " + std::to_string(bound));
    gPerfKillTex = 0.0f;

    // Without the multi-texture entry point units above 0 are left alone.
    OGL_set_state(1, 1, 1, 0, 1, 1);
    TEX_bind_unit(0, 2, 0, GL_TEXTURE_2D);
    auto saved = corvane::glActiveTextureARB;
    corvane::glActiveTextureARB = nullptr;
    TEX_reset_bind_cache();
    TEX_bind_unit(sNames[1], 2, 0, GL_TEXTURE_2D);
    OGL_set_state(1, 3, 1, 0, 1, 1);
    corvane::glActiveTextureARB = saved;
    std::string units;
    for (int u = 0; u < 3; ++u) {
        corvane::glActiveTextureARB(GL_TEXTURE0 + u);
        units += std::to_string(gl_on(GL_TEXTURE_2D));
    }
    corvane::glActiveTextureARB(GL_TEXTURE2);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    corvane::glActiveTextureARB(GL_TEXTURE0);
    say("without entry point: unit 2 cached " + std::to_string(gTexUnitCache.name[2]) + " bound " +
        std::to_string(bound) + " texturing " + units);
    say(std::string("gl errors: ") + (glGetError() == GL_NO_ERROR ? "none" : "some"));

    // The colour call with the scheme's adjustment (glColor3f or glColor4f shows in the repeat
    // scenario's trace).
    auto colour = [](const char* label, float r, float g, float b, float a, int raw) {
        glColor3f(0, 0, 0);
        gInterface.OGL_set_color(r, g, b, a, raw);
        GLfloat c[4];
        glGetFloatv(GL_CURRENT_COLOR, c);
        char buf[160];
        snprintf(buf, sizeof buf, "colour %s: %.3f %.3f %.3f", label, c[0], c[1], c[2]);
        say(buf);
    };
    colour("plain", 0.2f, 0.4f, 0.6f, 1.0f, 0);
    gInterface.red_gain = 0.5f;
    colour("gain", 1.0f, 0.4f, 0.2f, 1.0f, 0);
    colour("gain raw", 1.0f, 0.4f, 0.2f, 1.0f, 1);
    gInterface.red_gain = 1.0f;
    gInterface.monochrome = 1;
    colour("monochrome", 0.2f, 0.3f, 0.1f, 1.0f, 0);
    gInterface.red_shift = 0.25f;
    colour("red shift", 0.2f, 0.3f, 0.1f, 1.0f, 0);
    gInterface.red_shift = 0.7f;
    colour("full red shift", 0.2f, 0.3f, 0.1f, 1.0f, 0);
    gInterface.red_shift = 0.0f;
    gInterface.monochrome = 0;
}

// Each call twice in a row, glFinish around each: under apitrace every second call's section
// must be empty, since the caches answer it.
static void twice(void (*call)())
{
    glFinish();
    call();
    glFinish();
    call();
}

static void scenario_repeat()
{
    make_names();
    twice([] { OGL_set_state(1, 3, 1, 3, 0, 0); });
    twice([] { OGL_set_state(0, 1, 0, 1, 1, 1); });
    twice([] { OGL_set_state(0, 0, 0, 0, 1, 1); });
    twice([] { OGL_set_blend(2); });
    twice([] { OGL_set_depth(0, 0); });
    twice([] { TEX_bind_unit(sNames[0], 0, GL_REPLACE, GL_TEXTURE_2D); });
    twice([] { TEX_bind_unit(sNames[1], 2, 4, GL_TEXTURE_2D); });
    twice([] { TEX_bind_unit(sNames[2], 5, 0, GL_TEXTURE_2D); });
    twice([] { TEX_bind_unit(sNames[3], 15, 27, GL_TEXTURE_2D); });
    twice([] { gTextures.bind_tex(3, 1, GL_MODULATE); });
    glFinish();
    gInterface.OGL_set_color(0.25f, 0.5f, 0.75f, 0.995f, 0);
    gInterface.OGL_set_color(0.25f, 0.5f, 0.75f, 0.99f, 0);
    glFinish();
    say("repeat pairs: 10");
}

// ---- range alerts (no window) ----

static void scenario_alert()
{
    const std::string which = opt_str("--which");
    if (which == "ref_high") gTextures.load_bitmap(0, 1064, 1, 2, "high.png");
    if (which == "ref_low") gTextures.load_bitmap(0, -1, 1, 2, "low.png");
    if (which == "ref_last") say("slot 1063 gives: " + std::to_string(gTextures.load_bitmap(0, 1063, 1, 2, "last.png")));
    if (which == "load_time") gTextures.load_bitmap(0, 1030, 1, 3, "late.png");
    if (which == "bind_empty") gTextures.bind_tex(1040, 0, 0);
    if (which == "unload_dynamic") gTextures.unload_tex(1070);
    if (which == "filter") gTextures.load_bitmap(0, 1030, 0x400001, 2, "flags.png");
    if (which == "color") gTextures.load_bitmap(0, 1030, 0x40, 2, "colour.png");
    if (which == "fatal") gTextures.load_bitmap(4, 1030, 1, 2, "Resources/bitmaps/none.png");
    if (which == "buffer") {
        gScratchWidth = 300;
        gScratchHeight = 256;
        gTextures.load_bitmap(0, 1030, 0, 2, "scratch_array-odd");
    }
    say("no alert");
}

// ---- drawing and the manager ----

static std::string sDir;

// A texture at 1:1 from its bottom-left corner (x, y), the quad wound as the window culls.
static void draw_tex(int ref, float x, float y, float w, float h, int blend_mode, int mode)
{
    OGL_set_state(1, 1, 1, blend_mode, 1, 1);
    gTextures.bind_tex(ref, 0, mode);
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(x, y);
    glTexCoord2f(0, 1);
    glVertex2f(x, y + h);
    glTexCoord2f(1, 1);
    glVertex2f(x + w, y + h);
    glTexCoord2f(1, 0);
    glVertex2f(x + w, y);
    glEnd();
}

static std::string pixel(int x, int y)
{
    unsigned char px[3] = {};
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, px);
    return std::to_string(px[0]) + "," + std::to_string(px[1]) + "," + std::to_string(px[2]);
}

static std::string describe(int ref)
{
    TEX_obj* t = gTextures.get_tex(ref);
    if (!t) return "none";
    char buf[200];
    snprintf(buf, sizeof buf, "%dx%d loaded %dx%d format %#x bytes %d file %d refs %d", t->width, t->height,
             t->loaded_width, t->loaded_height, (unsigned)t->format, t->byte_size, t->from_file, t->ref_count.load());
    return buf;
}

static void report(const std::string& label, int ref)
{
    say(label + ": slot " + std::to_string(ref) + " " + describe(ref));
}

static unsigned gl_name_of(int ref)
{
    TEX_obj* t = gTextures.get_tex(ref);
    return t ? t->gl_name.load() : 0;
}

static void frames(int n)
{
    for (int i = 0; i < n; ++i) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        hl_do_frame();
    }
}

static void scenario_manager()
{
    report("placeholder", 3);
    say("placeholder name: " + std::to_string(gl_name_of(3)) + " loaded " + std::to_string(gTextures.is_loaded(3)));

    // Dynamic slots: one per folded name, later requests share it.
    int a = gTextures.load_bitmap(0, 0, 0x41, 2, sDir + "tex/a/b/../c.png");
    unsigned a_name = gl_name_of(a);
    unlink((sDir + "tex/a/c.png").c_str()); // a second load would now fail
    int b = gTextures.load_bitmap(0, 0, 0x41, 2, sDir + "tex/a/c.png");
    say("same slot: " + std::to_string(a) + " " + std::to_string(b) + " name kept " +
        std::to_string(gl_name_of(b) == a_name));
    report("shared", b);
    int c = gTextures.load_bitmap(0, 0, 0x41, 2, sDir + "tex/missing-one.png");
    int d = gTextures.load_bitmap(0, 0, 0x41, 2, sDir + "tex/missing-two.png");
    gTextures.slots[c] = nullptr; // a gap, as a released dynamic texture would leave
    int e = gTextures.load_bitmap(0, 0, 0x41, 2, sDir + "tex/missing-three.png");
    say("dynamic slots: " + std::to_string(c) + " " + std::to_string(d) + " gap reused " + std::to_string(e));
    report("failed dynamic", d);
    say(std::string("empty name: ") + std::to_string(gTextures.load_bitmap(0, 0, 0x41, 2, "")));

    // A fixed slot loaded twice on the main thread keeps its name (the second is a sub-image update).
    say("fixed: " + std::to_string(gTextures.load_bitmap(0, 1030, 0x41, 2, sDir + "fixed.png")));
    unsigned fixed_name = gl_name_of(1030);
    say("fixed again: " + std::to_string(gTextures.load_bitmap(0, 1030, 0x41, 2, sDir + "fixed2.png")) +
        " name kept " + std::to_string(gl_name_of(1030) == fixed_name));
    report("fixed", 1030);

    // A failed load uploads nothing, so the next load of the same sides uploads anew.
    glFinish();
    say("failed fixed: " + std::to_string(gTextures.load_bitmap(0, 1032, 0x41, 2, sDir + "missing.png")));
    report("substitute", 1032);
    say("after failure: " + std::to_string(gTextures.load_bitmap(0, 1032, 0x41, 2, sDir + "two.png")));
    report("after failure", 1032);
    glFinish();

    // Missing policies: flags, log lines, and each overlay message once.
    gTextures.load_bitmap(1, 1033, 0x41, 2, sDir + "lost-scenery.png");
    gTextures.load_bitmap(2, 1034, 0x41, 2, sDir + "lost-aircraft.png");
    gTextures.load_bitmap(3, 1035, 0x41, 2, sDir + "lost-other.png");
    gTextures.load_bitmap(3, 1036, 0x41, 2, sDir + "lost-other-2.png");
    say("pending: " + std::to_string(gTextures.missing_scenery_pending()) +
        std::to_string(gTextures.missing_aircraft_pending()) + std::to_string(gTextures.missing_other_pending()));
    frames(3);
    gTextures.note_missing_other();
    say("pending after frames: " + std::to_string(gTextures.missing_scenery_pending()) +
        std::to_string(gTextures.missing_aircraft_pending()) + std::to_string(gTextures.missing_other_pending()));
    frames(1);

    // Scratch textures: a fixed slot is needed and the buffer's size is the limit.
    gScratchWidth = 4;
    gScratchHeight = 4;
    memset(gScratchPixels, 200, 64);
    say("scratch without slot: " + std::to_string(gTextures.load_bitmap(0, 0, 0x42, 2, "scratch_array-none")) +
        " slots " + std::to_string(gTextures.slots.size()));
    gScratchWidth = 4096;
    gScratchHeight = 2048;
    say("scratch too large: " + std::to_string(gTextures.load_bitmap(0, 1037, 0x42, 2, "scratch_array-big")) +
        " object " + std::to_string(gTextures.get_tex(1037) != nullptr));
    gScratchWidth = 4;
    gScratchHeight = 4;
    // A slot changing kind loads as its new kind.
    say("buffer: " + std::to_string(gTextures.load_bitmap(0, 1038, 0x42, 2, "scratch_array-four")));
    report("buffer", 1038);
    say("buffer to file: " + std::to_string(gTextures.load_bitmap(0, 1038, 0x42, 2, sDir + "fixed.png")));
    report("buffer to file", 1038);
    say("file to buffer: " + std::to_string(gTextures.load_bitmap(0, 1038, 0x42, 2, "scratch_array-four")));
    report("file to buffer", 1038);
    // Software mip levels of a depth buffer, too, run down to 1 x 1.
    say("depth mips: " + std::to_string(gTextures.load_bitmap(0, 1043, 0x4027, 2, "scratch_array-depth")));

    // Resolution level 4 halves each side; a 1 x 1 picture stays.
    gGLSettings.texture_level = 4;
    gTextures.load_bitmap(0, 1039, 0x41, 2, sDir + "big.png");
    report("level 4 big", 1039);
    gTextures.load_bitmap(0, 1040, 0x41, 2, sDir + "one.png");
    report("level 4 one", 1040);
    gTextures.load_bitmap(0, 1041, 0x80041, 2, sDir + "big.png");
    report("level 4 full", 1041);
    gGLSettings.texture_level = 5;
    // A driver whose largest texture is under 2048: a picture too large for it on one side only
    // is halved until it fits.
    const int hw_limit = gCaps.max_tex_size;
    gCaps.max_tex_size = 1024;
    gTextures.load_bitmap(0, 1046, 0x41, 2, sDir + "long.png");
    report("small limit wide", 1046);
    gTextures.load_bitmap(0, 1047, 0x41, 2, sDir + "high.png");
    report("small limit tall", 1047);
    gCaps.max_tex_size = hw_limit;

    // A 3-D texture takes 64 x 32 x 8 texels: a picture with fewer becomes the substitute.
    say("3d small: " + std::to_string(gTextures.load_bitmap(0, 1042, 0x52, 2, sDir + "small3d.png")));
    say("3d: " + std::to_string(gTextures.load_bitmap(0, 1042, 0x52, 2, sDir + "big3d.png")));
    report("3d", 1042);
    GLint depth = 0;
    glBindTexture(GL_TEXTURE_3D, gl_name_of(1042));
    glGetTexLevelParameteriv(GL_TEXTURE_3D, 0, GL_TEXTURE_DEPTH, &depth);
    glBindTexture(GL_TEXTURE_3D, 0);
    say("3d depth: " + std::to_string(depth));

    // Past the largest side either way: a note, and nothing loaded.
    say("past the largest side: " + std::to_string(gTextures.load_bitmap(0, 1044, 0x41, 2, sDir + "wide.png")) + " " +
        std::to_string(gTextures.load_bitmap(0, 1045, 0x41, 2, sDir + "tall.png")));

    // An embedded picture is opened by its name, without candidates.
    say("resource: " + std::to_string(gTextures.load_bitmap(0, 1024, 0x90241, 2, "RESOURCE:map.png")));
    report("resource", 1024);

    // Unloading a fixed slot deletes its texture at once.
    unsigned gone = gl_name_of(1030);
    gTextures.unload_tex(1030);
    say("unloaded: slot empty " + std::to_string(gTextures.get_tex(1030) == nullptr) + " texture exists " +
        std::to_string((int)glIsTexture(gone)));
    gTextures.unload_tex(1030);
    say("manager done");
}

// The reload on a thread with a shared context: the thread uploads into a fresh name and
// publishes it; the old name waits for the next frame's flush.
static uint32_t reload_on_thread(void*)
{
    const GLubyte* v = glGetString(GL_VERSION);
    say(std::string("thread context: ") + (v ? "yes" : "no"));
    say("thread load: " + std::to_string(gTextures.load_bitmap(0, 1030, 0x41, 2, sDir + "fixed2.png")));
    return 0;
}

static void scenario_thread()
{
    gCaps.threaded_avail = 1; // detection cleared it; this program shares the context on purpose
    gTextures.load_bitmap(0, 1030, 0x41, 2, sDir + "fixed.png");
    const unsigned old_name = gl_name_of(1030);
    UTL_thread_handle t = nullptr, w = nullptr;
    uint32_t id = 0;
    THREAD_start(&reload_on_thread, nullptr, &t, &id, &w, 1);
    THREAD_join(&t, &w);
    const unsigned new_name = gl_name_of(1030);
    say("fresh name: " + std::to_string(new_name != old_name && new_name != 0));
    say("before flush: old " + std::to_string((int)glIsTexture(old_name)) + " new " +
        std::to_string((int)glIsTexture(new_name)));
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    draw_tex(1030, 100, 100, 64, 64, 0, GL_REPLACE);
    say("drawn: " + pixel(110, 110));
    frames(1);
    say("after flush: old " + std::to_string((int)glIsTexture(old_name)) + " new " +
        std::to_string((int)glIsTexture(new_name)));
}

// The pictures of the draw scenario: file, request flags, where it is drawn and how.
struct DrawItem {
    const char* label;
    const char* file;
    int flags;
    int x, y, w, h;
    int blend;
};

static const DrawItem kDrawList[] = {
    {"rgba", "rgba.png", 0x42, 10, 20, 64, 64, 1},
    {"grey", "grey.png", 0x41, 90, 20, 64, 64, 0},
    {"palette", "pal.png", 0x41, 170, 20, 128, 64, 0},
    {"bmp", "key.bmp", 0x42, 310, 20, 64, 64, 1},
    {"dxt1", "dxt1.png", 0x42, 390, 20, 64, 64, 1},
    {"dxt5", "dxt5.dds", 0x42, 470, 20, 64, 64, 1},
    {"none", "none.dds", 0x42, 550, 20, 64, 64, 1},
    {"missing", "nothing.png", 0x41, 630, 20, 64, 64, 0},
    {"dxt1 png", "dxt1.png", 0x242, 10, 120, 64, 64, 1},
    {"float", "grey.png", 0x1041, 90, 120, 64, 64, 0},
    {"cut", "cut.dds", 0x42, 170, 120, 64, 64, 0},
};

static void scenario_draw()
{
    int ref = 1043;
    for (const DrawItem& d : kDrawList) {
        int got = gTextures.load_bitmap(0, ref, d.flags, 2, sDir + d.file);
        say(std::string(d.label) + " load: " + std::to_string(got));
        report(d.label, ref);
        ++ref;
    }
    // DXT data needs the compressed upload.
    auto saved = gCaps.glCompressedTexImage2DARB;
    gCaps.glCompressedTexImage2DARB = nullptr;
    say("without compressed upload: " + std::to_string(gTextures.load_bitmap(0, ref, 0x42, 2, sDir + "dxt5.dds")));
    gCaps.glCompressedTexImage2DARB = saved;
    const int ready_at = 3;
    const int max_frames = opt_int("--frames", 0);
    auto start = std::chrono::steady_clock::now();
    for (int n = 0; !gQuit; ++n) {
        if (max_frames > 0 && n >= max_frames) break;
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(60)) break;
        if (access("stop", F_OK) == 0) break; // the test has its screenshot
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        ref = 1043;
        for (const DrawItem& d : kDrawList) draw_tex(ref++, d.x, d.y, d.w, d.h, d.blend, d.blend ? GL_MODULATE : GL_REPLACE);
        hl_do_frame();
        if (n + 1 == ready_at) say("ready");
    }
}

int main(int argc, char** argv)
{
    if (probe_begin(argc, argv).empty()) return 2;
    gGLSettings.texture_level = opt_int("--level", 5);
    const std::string scenario = opt_str("--scenario");
    sDir = opt_str("--dir");
    if (scenario == "alert") {
        scenario_alert();
        return 0;
    }
    if (CMDLINE_has_option("--threads")) THREAD_init();
    probe_make_window(800, 600);
    if (scenario == "state") scenario_state();
    if (scenario == "repeat") scenario_repeat();
    if (scenario == "manager") scenario_manager();
    if (scenario == "thread") scenario_thread();
    if (scenario == "draw") scenario_draw();
    app_shutdown(1);
    say("shut down");
    return 0;
}
