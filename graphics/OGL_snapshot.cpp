// A copy of the frame so far, drawn back pixel for pixel (see OGL_snapshot.h).
#include "graphics/OGL_snapshot.h"

#include "graphics/OGL_state.h"
#include "graphics/TEX_units.h"

#include <GL/gl.h>

bool OGL_snapshot_take(OGL_snapshot& s, int width, int height)
{
    if (width <= 0 || height <= 0) return false;
    while (glGetError() != GL_NO_ERROR) {
    }
    if (!s.name) glGenTextures(1, &s.name);
    // Through the unit cache, so that the texture manager's next binding is not skipped.
    TEX_bind_unit(s.name, 0, GL_REPLACE, GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 0, 0, width, height, 0);
    if (glGetError() != GL_NO_ERROR) {
        OGL_snapshot_free(s);
        return false;
    }
    s.width = width;
    s.height = height;
    return true;
}

void OGL_snapshot_draw(const OGL_snapshot& s)
{
    if (!s.name) return;
    // Replace, not modulate: the colour takes no part, and no blending mixes in what lay below.
    OGL_set_state(1, 1, 1, 0, 1, 1);
    TEX_bind_unit(s.name, 0, GL_REPLACE, GL_TEXTURE_2D);
    const float w = (float)s.width, h = (float)s.height;
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0, 0);
    glTexCoord2f(0, 1);
    glVertex2f(0, h);
    glTexCoord2f(1, 1);
    glVertex2f(w, h);
    glTexCoord2f(1, 0);
    glVertex2f(w, 0);
    glEnd();
}

void OGL_snapshot_free(OGL_snapshot& s)
{
    if (s.name) {
        TEX_bind_unit(0, 0, TEX_MODE_KEEP, GL_TEXTURE_2D);
        glDeleteTextures(1, &s.name);
    }
    s = OGL_snapshot();
}
