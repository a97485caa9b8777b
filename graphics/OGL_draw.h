// The 2D drawing primitives and their colour adjustment. Only the adjustment exists yet; the
// primitives are filled in by their own unit later.
#pragma once

// Changes red, green and blue in place as setting the colour would: the scheme's channel gains
// (unless raw), then its red shift or, without one, its monochrome mode. Alpha stays.
void OGL_adjust_color(float* r, float* g, float* b, float* a, int raw);
