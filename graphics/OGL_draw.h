// The 2D drawing primitives: a line, a filled rectangle and a textured quad, in UI units from
// the open popup's corner, with colours named by their index into the colour table. The colour
// adjustment they go through is an operation of the colour scheme (COL_scheme::OGL_adjust_color).
// Main thread, in the 2D view.
#pragma once
#include "graphics/COL_scheme.h"

// A line from (x1, y1) to (x2, y2), through the middle of its end pixels.
void OGL_draw_line(int color, float alpha, float x1, float y1, float x2, float y2);
// The filled rectangle with its lower-left corner at (x, y).
void OGL_draw_rect(int color, float alpha, float x, float y, float width, float height);
// One textured quad, corners in drawing order, each a position and a texture coordinate. tex is
// a texture slot (0 or less binds nothing); tex_units the units to enable (0 to 8); blend_mode as
// OGL_set_blend; env_mode the texture environment passed to the binding.
void OGL_draw_tex_quad(int tex, int color, float alpha, float x1, float y1, float s1, float t1, float x2, float y2,
                       float s2, float t2, float x3, float y3, float s3, float t3, float x4, float y4, float s4,
                       float t4, int tex_units, int blend_mode, int env_mode);

// The same quads as a run of OGL_draw_tex_quad calls that share one texture, colour and state,
// in one batch: every glBegin after a colour change makes Mesa validate its whole state again,
// which costs far more than the quad itself when a frame is drawn from many small tiles.
// Between the begin and the end only OGL_tex_quad_vertices may be called.
void OGL_begin_tex_quads(int tex, int color, float alpha, int tex_units, int blend_mode, int env_mode);
void OGL_tex_quad_vertices(float x1, float y1, float s1, float t1, float x2, float y2, float s2, float t2, float x3,
                           float y3, float s3, float t3, float x4, float y4, float s4, float t4);
void OGL_end_tex_quads();
