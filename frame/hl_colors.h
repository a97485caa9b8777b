// The colour scheme: the one record of interface colours lives with the graphics
// (graphics/COL_scheme.h), where drawing reads it; here is how the frame sets its entries.
#pragma once
#include "graphics/COL_scheme.h"

// Stores one colour-table entry. The index is 0 to 118; callers guarantee it.
void COL_set_color(int index, float r, float g, float b);
