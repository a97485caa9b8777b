// The 2D drawing primitives and their colour adjustment. Only the adjustment exists yet (an
// operation of the colour scheme, COL_scheme::OGL_adjust_color); the primitives are filled in by
// their own unit later.
#pragma once
#include "graphics/COL_scheme.h"
