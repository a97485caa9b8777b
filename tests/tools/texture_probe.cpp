// Test program for the OpenGL state cache, the texture-unit cache and the texture manager: makes
// the window as start-up does (window, driver detection, render options, texture manager), runs
// one scenario and prints what the tests check to stdout.
//
//   --scenario=state     a bounded random run of state and bind calls, then the caches against
//                        what OpenGL reports, and every combiner recipe as OpenGL holds it
//   --scenario=repeat    a fixed run of state and bind calls, glFinish, the same run again,
//                        glFinish (under apitrace the second run must issue nothing)
//   --level=N            texture-resolution level (default 5)
//   --seed=N --steps=N   the random run
#include "foundation/HL_THREAD.h"
#include "foundation/options.h"
#include "frame/hl_event.h"
#include "frame/hl_init.h"
#include "frame/hl_shutdown.h"
#include "graphics/OGL_extensions.h"
#include "graphics/OGL_state.h"
#include "graphics/OGL_view.h"
#include "graphics/TEX_units.h"
#include "graphics/hl_monitor.h"
#include "graphics/hl_window.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern float gPerfKillTex;

static void say(const std::string& line)
{
    fprintf(stdout, "%s\n", line.c_str());
    fflush(stdout);
}

static int opt_int(const char* name, int def)
{
    if (!CMDLINE_has_option(name)) return def;
    return atoi(CMDLINE_get_option(name).c_str());
}

static std::string opt_str(const char* name)
{
    return CMDLINE_has_option(name) ? CMDLINE_get_option(name) : std::string();
}

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
    twice([] { TEX_bind_unit(3, 1, GL_MODULATE, GL_TEXTURE_2D); });
    glFinish();
    say("repeat pairs: 10");
}

static void make_window()
{
    hl_register_window_class();
    gWindowedW = 800;
    gWindowedH = 600;
    hl_fit_window_to_screen(1);
    if (!gWindows.hl_create_gl_window(0)) {
        say("window: failed");
        app_shutdown(1);
        exit(1);
    }
    gWindows.hl_set_window_count(1);
    hl_update_layout();
    gCaps.OGL_init_extensions();
    gGLSettings.RENO_reset_options();
}

int main(int argc, char** argv)
{
    std::string cmd = CMDLINE_text_from_argv(argc, argv);
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return 2;
    hl_open_log(std::string(cwd) + "/" + LOG_FILE_NAME);
    CMDLINE_parse(cmd.c_str());
    gGLSettings.texture_level = opt_int("--level", 5);
    const std::string scenario = opt_str("--scenario");
    if (CMDLINE_has_option("--threads")) THREAD_init();
    make_window();
    if (scenario == "state") scenario_state();
    if (scenario == "repeat") scenario_repeat();
    app_shutdown(1);
    say("shut down");
    return 0;
}
