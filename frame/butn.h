// Immediate-mode widgets and their labels. A label carries its own layout: the text left of the
// widget, the text right of it after '|', and the hover help after '{'.
#pragma once
#include <string>

// Cuts a label into its three parts. The label itself loses the blanks next to its markers;
// a part that the label does not have comes back empty.
void BTN_split_label(std::string& label, std::string& first, std::string& second, std::string& help);

// Starts the keyboard focus ring of this frame.
void BTN_focus_begin_frame();
// Takes the keyboard focus from whatever widget holds it.
void BTN_clear_focus();
// Draws the open popup's two close boxes, pressed or not.
void BTN_corner_boxes(int pressed);
