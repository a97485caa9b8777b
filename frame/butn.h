// Immediate-mode widgets and their labels. A label carries its own layout: the text left of the
// widget, the text right of it after '|', and the hover help after '{'.
#pragma once
// BTN_split_label is declared where the translation check uses it.
#include "foundation/label_split.h"

#include <string>

// Draws one part of a label: align 0 ends it at x, 1 centres it on x, 2 starts it at x; in colour
// 95 when highlighted, else 52. A long part (more than 12 bytes, unless it begins with "-", which
// is not drawn) is broken into two lines near its middle, except when centred.
void BTN_draw_label(float x, float y, int align, const std::string& text, int highlight);
// The lines BTN_draw_label draws: 1 with the part broken into first and second, 0 with one line.
int BTN_label_lines(const std::string& text, int align, std::string& first, std::string& second);

// Starts the keyboard focus ring of this frame.
void BTN_focus_begin_frame();
// Takes the keyboard focus from whatever widget holds it.
void BTN_clear_focus();
// Draws the open popup's two close boxes, pressed or not.
void BTN_corner_boxes(int pressed);
