// The cached OpenGL enable state (see OGL_state.h).
#include "graphics/OGL_state.h"

// Nothing draws through the cache yet, so there is no state to bring in line.
void OGL_set_state(int, int, int, int, int, int)
{
}

void OGL_set_blend(int)
{
}

void OGL_set_depth(int, int)
{
}
