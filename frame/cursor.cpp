// The mouse cursor and hover help (see cursor.h).
#include "frame/cursor.h"

std::string gHoverHelp;

// The system cursor stays as it is until the cursor unit takes it over.
void hl_draw_cursor(int)
{
}
