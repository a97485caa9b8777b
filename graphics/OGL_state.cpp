// The cached OpenGL enable state (see OGL_state.h).
#include "graphics/OGL_state.h"

#include "graphics/COL_scheme.h"
#include "graphics/OGL_extensions.h"

#include <GL/gl.h>

OGL_state_cache gOGLState;

int clamp_int(int value, int lo, int hi)
{
    if (value < lo) return lo;
    if (value > hi) return hi;
    return value;
}

float clamp_float(float value, float lo, float hi)
{
    if (value < lo) return lo;
    if (value > hi) return hi;
    return value;
}

float interp_clamped(float x0, float y0, float x1, float y1, float x)
{
    if (x0 == x1) return (y0 + y1) * 0.5f;
    float y = y0 + (x - x0) * (y1 - y0) / (x1 - x0);
    return y0 < y1 ? clamp_float(y, y0, y1) : clamp_float(y, y1, y0);
}

static void set_cap(GLenum cap, int on)
{
    if (on)
        glEnable(cap);
    else
        glDisable(cap);
}

void OGL_set_blend(int blend_mode)
{
    OGL_state_cache& c = gOGLState;
    if (!c.blend_known) {
        c.blend_on = glIsEnabled(GL_BLEND) ? 1 : 0;
        c.blend_known = 1;
    }
    if (!c.alpha_test_known) {
        c.alpha_test_on = glIsEnabled(GL_ALPHA_TEST) ? 1 : 0;
        c.alpha_test_known = 1;
    }
    const int known_mode = blend_mode >= 0 && blend_mode <= 3;
    const int blend = blend_mode == 1 || blend_mode == 3;
    const int alpha = blend_mode == 2 || blend_mode == 3;
    if (known_mode) {
        if (c.blend_on != blend) set_cap(GL_BLEND, blend);
        if (c.alpha_test_on != alpha) set_cap(GL_ALPHA_TEST, alpha);
    }
    c.blend_on = blend;
    c.alpha_test_on = alpha;
}

void OGL_set_depth(int depth_test_off, int depth_write_off)
{
    OGL_state_cache& c = gOGLState;
    if (!c.depth_test_known) {
        c.depth_test_off = glIsEnabled(GL_DEPTH_TEST) ? 0 : 1;
        c.depth_test_known = 1;
    }
    if (c.depth_test_off != depth_test_off) set_cap(GL_DEPTH_TEST, depth_test_off == 0);
    if (c.depth_write_off != depth_write_off) glDepthMask(depth_write_off == 0 ? GL_TRUE : GL_FALSE);
    c.depth_test_off = depth_test_off;
    c.depth_write_off = depth_write_off;
}

// Units above 0 exist only with the multi-texture entry point.
static int select_unit(int unit)
{
    if (!corvane::glActiveTextureARB) return unit == 0;
    corvane::glActiveTextureARB(GL_TEXTURE0 + unit);
    return 1;
}

void OGL_learn_enable_state()
{
    OGL_state_cache& c = gOGLState;
    if (!c.fog_known) {
        c.fog_off = glIsEnabled(GL_FOG) ? 0 : 1;
        c.fog_known = 1;
    }
    if (!c.tex_units_known) {
        c.tex_units = glIsEnabled(GL_TEXTURE_2D) ? c.last_tex_units : 0;
        c.tex_units_known = 1;
    }
    if (!c.lighting_known) {
        c.lighting_off = glIsEnabled(GL_LIGHTING) ? 0 : 1;
        c.lighting_known = 1;
    }
}

void OGL_set_state(int fog_off, int tex_units, int lighting_off, int blend_mode, int depth_test_off, int depth_write_off)
{
    OGL_state_cache& c = gOGLState;
    OGL_set_blend(blend_mode);
    OGL_set_depth(depth_test_off, depth_write_off);

    OGL_learn_enable_state();

    if (c.fog_off != fog_off) set_cap(GL_FOG, fog_off == 0);

    int units = tex_units;
    if (units != c.tex_units) {
        set_cap(GL_TEXTURE_2D, units >= 1);
        units = clamp_int(units, 0, gGLSettings.max_tex_units);
        c.last_tex_units = units;
        const int old = c.tex_units;
        if (units > 1 || old >= 2) {
            // Units beyond the eighth are never switched.
            for (int i = 1; i <= 8; ++i)
                if (i <= units && i > old && select_unit(i - 1)) glEnable(GL_TEXTURE_2D);
            for (int i = 1; i <= 8; ++i)
                if (i <= old && i > units && select_unit(i - 1)) glDisable(GL_TEXTURE_2D);
            select_unit(0);
        }
    }

    if (c.lighting_off != lighting_off) {
        set_cap(GL_LIGHTING, lighting_off == 0);
        set_cap(GL_LIGHT0, lighting_off == 0);
    }

    c.fog_off = fog_off;
    c.tex_units = units;
    c.lighting_off = lighting_off;
}

void COL_scheme::OGL_set_color(float r, float g, float b, float a, int raw)
{
    OGL_adjust_color(&r, &g, &b, &a, raw);
    // Opaque is passed as an explicit alpha of 1, never as the three-component call: Mesa's
    // immediate mode (22.x, llvmpipe and softpipe alike) lets a glColor3f that follows a glColor4f
    // with no flush in between keep the older alpha, so a dimmed half-alpha picture would leave
    // the next opaque quad drawn at half alpha too.
    a = a > 0.99f ? 1.0f : a;
    // Mesa flushes the primitives it holds at every glColor between batches, so the same colour
    // again (the lines of one text, the tiles of one button) is not passed on.
    OGL_state_cache& c = gOGLState;
    if (c.color_known && c.color[0] == r && c.color[1] == g && c.color[2] == b && c.color[3] == a) return;
    c.color[0] = r;
    c.color[1] = g;
    c.color[2] = b;
    c.color[3] = a;
    c.color_known = 1;
    glColor4f(r, g, b, a);
}
