// Widgets. Only the calls the frame cycle makes exist yet; the widgets are filled in by their
// own unit later.
#pragma once

// Starts the keyboard focus ring of this frame.
void BTN_focus_begin_frame();
// Draws the open popup's two close boxes, pressed or not.
void BTN_corner_boxes(int pressed);
