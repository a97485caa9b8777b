// Setting one colour of the scheme (see hl_colors.h).
#include "frame/hl_colors.h"

void COL_set_color(int index, float r, float g, float b)
{
    gInterface.colors[index][0] = r;
    gInterface.colors[index][1] = g;
    gInterface.colors[index][2] = b;
}
