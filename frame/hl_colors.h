// The colour scheme: the one record of interface colours (declared in graphics/COL_scheme.h so
// that drawing reaches it), built with its defaults when the program's statics are built.
#pragma once
#include "graphics/COL_scheme.h"

// Stores one colour-table entry. The index is 0 to 118; callers guarantee it.
void COL_set_color(int index, float r, float g, float b);
