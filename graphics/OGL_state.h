// The cached OpenGL enable state behind the 2D drawing. The cache itself is filled in by its own
// unit later; the window code already brings it to its all-off state.
#pragma once

// blend mode 0 none, 1 blending, 2 alpha test, 3 both.
void OGL_set_state(int fog_off, int tex_units, int lighting_off, int blend_mode, int depth_test_off, int depth_write_off);
void OGL_set_blend(int blend_mode);
void OGL_set_depth(int depth_test_off, int depth_write_off);
