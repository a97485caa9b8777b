// A copy of the frame so far, drawn back pixel for pixel (see OGL_snapshot.h).
#include "graphics/OGL_snapshot.h"

#include "graphics/OGL_state.h"
#include "graphics/TEX_units.h"

#include <GL/gl.h>
#include <cstddef>
#include <vector>

bool OGL_snapshot_take(OGL_snapshot& s, int width, int height)
{
    if (width <= 0 || height <= 0) return false;
    // Errors left by earlier calls are not this copy's.
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {
    }
    if (!s.name) glGenTextures(1, &s.name);
    // Through the unit cache, so that the texture manager's next binding is not skipped.
    TEX_bind_unit(s.name, 0, GL_REPLACE, GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    // Through memory rather than glCopyTexImage2D: llvmpipe copies between the window's and the
    // texture's pixel formats with a shader that it compiles on first use, some 35 ms in one frame.
    std::vector<unsigned char> pixels((std::size_t)width * height * 4);
    GLint pack = 4, unpack = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &pack);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpack);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, pack);
    glPixelStorei(GL_UNPACK_ALIGNMENT, unpack);
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
