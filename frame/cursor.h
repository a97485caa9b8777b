// The mouse cursor and hover help, once per frame after the application frame and whenever a
// popup opens: the help text a widget under a resting pointer asked for, in a box near the
// pointer, and whether the system pointer is shown, set to the arrow, left alone, or replaced by
// one drawn from the interface sheet.
#pragma once
#include <string>

// The help text of the widget under the mouse, assigned by that widget every frame.
extern std::string gHoverHelp;
// The program has the system pointer shown; changes only together with a show or hide call.
extern int gCursorShown;
// 1 while cursor kind 1 (another part of the program owns the pointer) is in force.
extern int gCursorLeftAlone;

// Draws the help text (and empties it) and settles the pointer for the popup popup_id (0 the
// main window). Callers pass gHoverHelp.
void hl_draw_cursor(std::string& help, int popup_id);

// Where the help box goes, in the popup's UI units: text origin (x, y) and height h of a text of
// bytes bytes with the pointer at (mouse_x, mouse_y), in a window of win_w x win_h units whose
// popup has its origin at (popup_x, popup_y).
struct hl_help_place {
    float x, y, h;
};
hl_help_place hl_help_box_place(size_t bytes, float mouse_x, float mouse_y, float popup_x, float popup_y,
                                float win_w, float win_h);
