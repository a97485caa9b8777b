// What the engine's questions need of the frame to run as modal popups: one frame at a time,
// the popup that is open, and opening another. The frame and its display state fill these in.
#pragma once

extern int gPopup; // the open popup: 0 the whole window, -1 none opened yet

// Runs exactly one frame. Called by the main loop and by every modal loop.
void hl_do_frame();
// Selects the popup with this id (0 the whole window) and lays it out.
void hl_open_window(int id);
