// The 2D drawing primitives (see OGL_draw.h).
#include "graphics/OGL_draw.h"

#include "graphics/OGL_state.h"

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
