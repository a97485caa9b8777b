// A copy of what the frame has drawn so far, kept in a texture of its own and drawn back pixel
// for pixel: for a costly part of the picture that stays the same from frame to frame. Main
// thread, with the OpenGL context current, in the 2D view of the whole window.
#pragma once

struct OGL_snapshot {
    unsigned name = 0; // the OpenGL texture, 0 before the first copy
    int width = 0, height = 0;
};

// Copies the back buffer's lower-left width x height pixels; false when OpenGL refused (the
// snapshot is then empty and must not be drawn).
bool OGL_snapshot_take(OGL_snapshot& s, int width, int height);
// Draws the copy at the window's lower-left corner: opaque, unfiltered, one texel per pixel, so
// the pixels come back exactly as they were copied.
void OGL_snapshot_draw(const OGL_snapshot& s);
// Deletes the texture (for a context that is about to go, or a copy no longer wanted).
void OGL_snapshot_free(OGL_snapshot& s);
