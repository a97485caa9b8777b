// The backdrop behind the user interface (see OGL_back_tex.h).
#include "graphics/OGL_back_tex.h"

// No backdrop picture is loaded yet.
void OGL_build_back_tex()
{
}
