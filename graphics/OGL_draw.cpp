// The 2D drawing primitives (see OGL_draw.h).
#include "graphics/OGL_draw.h"

// The plain colour scheme has unit gains, no monochrome and no red shift: nothing changes.
void OGL_adjust_color(float*, float*, float*, float*, int)
{
}
