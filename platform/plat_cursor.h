// The mouse pointer over the program's windows: shown or hidden, and the system arrow. Every
// show and hide is counted so that a caller can prove it never asks for the same state twice in
// a row (the desktop keeps no display count, so a doubled call would go unnoticed).
#pragma once

// Shows (1) or hides (0) the pointer while it is over the program's windows.
void PLAT_cursor_show(int show);
// Puts the system arrow on the program's windows. A hidden pointer stays hidden.
void PLAT_cursor_set_arrow();
// Frees the arrow; called before the display connection closes.
void PLAT_cursor_release();

struct PLAT_cursor_counts {
    int shows = 0;   // PLAT_cursor_show(1) calls
    int hides = 0;   // PLAT_cursor_show(0) calls
    int repeats = 0; // calls that asked for the same state as the call before them
    int arrows = 0;  // PLAT_cursor_set_arrow calls
};
PLAT_cursor_counts PLAT_cursor_get_counts();
