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
// Of the monitor's modes of this size, the one with the depth and refresh rate given in bits and
// hz, else that depth at the nearest rate, else any depth: 1 and the choice written back, or 0
// (nothing written) when the monitor has no mode of this size.
int hl_nearest_display_mode(int monitor, int width, int height, int* bits, int* hz);
// Returns the monitor to the desktop's own mode.
void hl_restore_display_mode(int monitor);
// 0 windowed, 1 full screen, 2 full screen even when already set.
void hl_set_window_mode(int mode);

// The exact full-screen mode waiting to reach the main window: 1 and the mode, or 0.
int hl_pending_display_mode(int* width, int* height, int* bits, int* hz);
// Gives the main window the pending full-screen mode, if any; called once the window exists. A
// mode the screen refuses is dropped and the hook below told.
void hl_apply_display_mode();
// Filled in by the frame, which decides what the window becomes when its full-screen mode was
// refused; unset, the window keeps the size it was made with.
extern void (*gDisplayModeRefusedHook)();
