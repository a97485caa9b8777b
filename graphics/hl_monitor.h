// The monitors' display modes, full-screen modes and back, and switching the program's windows
// between windowed and full-screen presentation. Only monitor 0 is ever used.
#pragma once

// Writes each non-null output from the monitor's rectangle and current mode; writes nothing when
// the mode cannot be read (no display, or no such monitor).
void hl_get_monitor_info(int monitor, int* left, int* top, int* width, int* height, int* bits, int* hz);
// hl_get_monitor_info for monitor 0 without the position.
void hl_get_desktop_mode(int* width, int* height, int* bits, int* hz);
// 1 when the monitor has a mode with exactly these four values and it was taken (it reaches the
// main window once that exists), else 0.
int hl_set_display_mode(int monitor, int width, int height, int bits, int hz);
// Returns the monitor to the desktop's own mode.
void hl_restore_display_mode(int monitor);
// 0 windowed, 1 full screen, 2 full screen even when already set.
void hl_set_window_mode(int mode);

// The exact full-screen mode waiting to reach the main window: 1 and the mode, or 0.
int hl_pending_display_mode(int* width, int* height, int* bits, int* hz);
// Gives the main window the pending full-screen mode, if any; called once the window exists.
void hl_apply_display_mode();
