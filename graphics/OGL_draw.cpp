// The 2D drawing primitives and the colour adjustment (see OGL_draw.h).
#include "graphics/OGL_draw.h"

#include "graphics/OGL_extensions.h"
#include "graphics/OGL_state.h"
#include "graphics/OGL_view.h"
#include "graphics/tman.h"

#include <GL/gl.h>

void COL_scheme::OGL_adjust_color(float* r, float* g, float* b, float*, int raw)
{
    if (!raw) {
        *r *= red_gain;
        *g *= green_gain;
        *b *= blue_gain;
    }
    const float bright = clamp_float(*r + *g + *b, 0.01f, 1.0f);
    if (red_shift > 0.0f) {
        // Towards a red of the same brightness, reached at level 0.5.
        *r = interp_clamped(0.0f, *r, 0.5f, bright, red_shift);
        *g = interp_clamped(0.0f, *g, 0.5f, 0.0f, red_shift);
        *b = interp_clamped(0.0f, *b, 0.5f, 0.0f, red_shift);
    } else if (monochrome) {
        *r = 0.0f;
        *g = bright;
        *b = 0.0f;
    }
}

// An index outside the table draws white rather than reading past it.
static void set_table_color(int color, float alpha)
{
    if (color < 0 || color >= COL_COLOR_COUNT) color = 0;
    const float* c = gColors[color];
    // Entries 43 and up are taken as they are: the channel gains do not scale them.
    gInterface.OGL_set_color(c[0], c[1], c[2], alpha, color >= 43);
}

void OGL_draw_line(int color, float alpha, float x1, float y1, float x2, float y2)
{
    OGL_set_state(1, 0, 1, 1, 1, 1);
    set_table_color(color, alpha);
    // Half a unit in: the line runs through the middle of its pixels.
    glBegin(GL_LINES);
    glVertex2f(gPopupX + x1 + 0.5f, gPopupY + y1 + 0.5f);
    glVertex2f(gPopupX + x2 + 0.5f, gPopupY + y2 + 0.5f);
    glEnd();
}

void OGL_draw_rect(int color, float alpha, float x, float y, float width, float height)
{
    OGL_set_state(1, 0, 1, 1, 1, 1);
    set_table_color(color, alpha);
    const float l = gPopupX + x, b = gPopupY + y;
    glBegin(GL_QUADS);
    glVertex2f(l, b);
    glVertex2f(l, b + height);
    glVertex2f(l + width, b + height);
    glVertex2f(l + width, b);
    glEnd();
}

// Units above 0 exist only with the multi-texture entry point.
static bool select_unit(int unit)
{
    if (!corvane::glActiveTextureARB) return unit == 0;
    corvane::glActiveTextureARB(GL_TEXTURE0 + unit);
    return true;
}

void OGL_begin_tex_quads(int tex, int color, float alpha, int tex_units, int blend_mode, int env_mode)
{
    OGL_set_blend(blend_mode);
    OGL_set_depth(1, 1);

    // The one cached enable state that OGL_set_state keeps, read from OpenGL where still unknown.
    OGL_state_cache& c = gOGLState;
    OGL_learn_enable_state();

    if (!c.fog_off) glDisable(GL_FOG);

    int units = tex_units;
    if (c.tex_units != units) {
        if (units >= 1)
            glEnable(GL_TEXTURE_2D);
        else
            glDisable(GL_TEXTURE_2D);
        units = clamp_int(units, 0, gGLSettings.max_tex_units);
        c.last_tex_units = units;
        const int old = c.tex_units;
        if (old > 1 || units > 1) {
            // Only the units whose enable changes are visited; units beyond the eighth never are.
            for (int i = 0; i < 8; ++i) {
                const bool on = old <= i && i < units, off = units <= i && i < old;
                if ((on || off) && select_unit(i)) {
                    if (on)
                        glEnable(GL_TEXTURE_2D);
                    else
                        glDisable(GL_TEXTURE_2D);
                }
            }
            select_unit(0);
        }
    }

    if (!c.lighting_off) {
        glDisable(GL_LIGHTING);
        glDisable(GL_LIGHT0);
    }
    c.fog_off = 1;
    c.lighting_off = 1;
    c.tex_units = units;

    if (tex > 0) gTextures.bind_tex(tex, 0, env_mode);
    set_table_color(color, alpha);

    glBegin(GL_QUADS);
}

void OGL_tex_quad_vertices(float x1, float y1, float s1, float t1, float x2, float y2, float s2, float t2, float x3,
                           float y3, float s3, float t3, float x4, float y4, float s4, float t4)
{
    glTexCoord2f(s1, t1);
    glVertex2f(gPopupX + x1, gPopupY + y1);
    glTexCoord2f(s2, t2);
    glVertex2f(gPopupX + x2, gPopupY + y2);
    glTexCoord2f(s3, t3);
    glVertex2f(gPopupX + x3, gPopupY + y3);
    glTexCoord2f(s4, t4);
    glVertex2f(gPopupX + x4, gPopupY + y4);
}

void OGL_end_tex_quads()
{
    glEnd();
}

void OGL_draw_tex_quad(int tex, int color, float alpha, float x1, float y1, float s1, float t1, float x2, float y2,
                       float s2, float t2, float x3, float y3, float s3, float t3, float x4, float y4, float s4,
                       float t4, int tex_units, int blend_mode, int env_mode)
{
    OGL_begin_tex_quads(tex, color, alpha, tex_units, blend_mode, env_mode);
    OGL_tex_quad_vertices(x1, y1, s1, t1, x2, y2, s2, t2, x3, y3, s3, t3, x4, y4, s4, t4);
    OGL_end_tex_quads();
}
