// The mouse cursor and hover help. Filled in by its own unit later.
#pragma once
#include <string>

// The help text of the widget under the mouse, assigned by that widget every frame.
extern std::string gHoverHelp;

// Draws the cursor and the hover help for the open popup.
void hl_draw_cursor(int popup);
