// The mouse cursor and hover help. Filled in by its own unit later.
#pragma once

// Draws the cursor and the hover help for the open popup.
void hl_draw_cursor(int popup);
