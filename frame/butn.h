// Immediate-mode widgets and their labels. A label carries its own layout: the text left of the
// widget, the text right of it after '|', and the hover help after '{'.
#pragma once
// BTN_split_label is declared where the translation check uses it.
#include "foundation/label_split.h"

#include <string>

// Starts the keyboard focus ring of this frame.
void BTN_focus_begin_frame();
// Takes the keyboard focus from whatever widget holds it.
void BTN_clear_focus();
// Draws the open popup's two close boxes, pressed or not.
void BTN_corner_boxes(int pressed);
