// The cached OpenGL enable state behind the 2D drawing: OGL_set_state and its two narrower forms
// call glEnable, glDisable and glDepthMask only where the wanted state differs from what they last
// set; plus the colour call and three small clamping helpers. Main thread only.
#pragma once

// One value per state and, where the value is read from OpenGL on first use, a flag that says it
// was read. Drawing code that changes the state itself writes the value here too.
struct OGL_state_cache {
    int blend_on = 0;
    unsigned char blend_known = 0;
    int alpha_test_on = 0;
    unsigned char alpha_test_known = 0;
    int depth_test_off = 0;
    unsigned char depth_test_known = 0;
    int depth_write_off = 1; // the window set-up leaves depth writes off
    int fog_off = 0;
    unsigned char fog_known = 0;
    int tex_units = 0; // units 0..n-1 with GL_TEXTURE_2D enabled
    unsigned char tex_units_known = 0;
    int lighting_off = 0;
    unsigned char lighting_known = 0;
    int last_tex_units = 1; // the last count set; what an enabled GL_TEXTURE_2D counts as when first read
    // The current colour as COL_scheme::OGL_set_color last passed it; code that sets the colour
    // by any other way clears color_known.
    float color[4] = {0, 0, 0, 0};
    unsigned char color_known = 0;
};

extern OGL_state_cache gOGLState;

// blend mode 0 none, 1 blending, 2 alpha test, 3 both; any other value touches neither and
// records both as off.
// Reads from OpenGL the fog, texture and lighting enables that the cache does not know yet.
void OGL_learn_enable_state();
void OGL_set_state(int fog_off, int tex_units, int lighting_off, int blend_mode, int depth_test_off, int depth_write_off);
void OGL_set_blend(int blend_mode);
void OGL_set_depth(int depth_test_off, int depth_write_off);
// The colour call, COL_scheme::OGL_set_color, is an operation of the colour scheme (COL_scheme.h).

int clamp_int(int value, int lo, int hi);
float clamp_float(float value, float lo, float hi);
// x mapped linearly from [x0, x1] onto [y0, y1], clamped between y0 and y1; the mean of y0 and y1
// when x0 equals x1.
float interp_clamped(float x0, float y0, float x1, float y1, float x);
