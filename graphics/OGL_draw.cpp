// The 2D drawing primitives and their colour adjustment (see OGL_draw.h).
#include "graphics/OGL_draw.h"

#include "graphics/COL_scheme.h"

#include <algorithm>

// y0 at x = 0 moving linearly to y1 at x = 0.5, never past either end.
static float toward(float y0, float y1, float x)
{
    const float y = y0 + x * (y1 - y0) / 0.5f;
    return y0 < y1 ? std::clamp(y, y0, y1) : std::clamp(y, y1, y0);
}

void COL_scheme::OGL_adjust_color(float* r, float* g, float* b, float*, int raw)
{
    if (!raw) {
        *r *= red_gain;
        *g *= green_gain;
        *b *= blue_gain;
    }
    const float bright = std::clamp(*r + *g + *b, 0.01f, 1.0f);
    if (red_shift > 0) {
        // The monochrome flag has no say while the red shift is on.
        *r = toward(*r, bright, red_shift);
        *g = toward(*g, 0, red_shift);
        *b = toward(*b, 0, red_shift);
    } else if (monochrome) {
        *r = 0;
        *g = bright;
        *b = 0;
    }
}
