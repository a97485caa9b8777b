// The 2D drawing primitives and their colour adjustment. Only the adjustment exists yet, in the
// plain colour scheme; the primitives are filled in by their own unit later.
#pragma once

// Changes red, green and blue in place as setting the colour would (raw: no channel gains).
void OGL_adjust_color(float* r, float* g, float* b, float* a, int raw);
