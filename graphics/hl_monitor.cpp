// Monitors, display modes and the window mode (see hl_monitor.h).
#include "graphics/hl_monitor.h"

#include "foundation/quit.h"
#include "graphics/OGL_view.h"
#include "graphics/hl_window.h"
#include "platform/plat_window.h"

#include <cstdlib>

// A display mode belongs to a full-screen window here, so a mode chosen before the window
// exists waits for it.
static int gModePending = 0;
static PLAT_display_mode gPendingMode;

void hl_get_monitor_info(int monitor, int* left, int* top, int* width, int* height, int* bits, int* hz)
{
    int count = PLAT_display_count();
    if (monitor < 0 || monitor >= count) return;
    int x = 0, y = 0;
    PLAT_display_bounds(monitor, &x, &y, nullptr, nullptr);
    PLAT_display_mode m;
    if (PLAT_display_current_mode(monitor, &m) != 0) return;
    if (left) *left = x;
    if (top) *top = y;
    if (width) *width = m.width;
    if (height) *height = m.height;
    if (bits) *bits = m.bits;
    if (hz) *hz = m.hz;
}

void hl_get_desktop_mode(int* width, int* height, int* bits, int* hz)
{
    hl_get_monitor_info(0, nullptr, nullptr, width, height, bits, hz);
}

int hl_set_display_mode(int monitor, int width, int height, int bits, int hz)
{
    int count = PLAT_display_mode_count(monitor);
    for (int i = 0; i < count; ++i) {
        PLAT_display_mode m;
        if (PLAT_display_mode_at(monitor, i, &m) != 0) continue;
        if (m.width != width || m.height != height || m.bits != bits || m.hz != hz) continue;
        // Only the main window on monitor 0 can carry a full-screen mode.
        if (monitor != 0) continue;
        PLAT_window* main = gWindows.window[0];
        if (main && PLAT_window_set_fullscreen(main, &m) != 0) continue;
        gPendingMode = m;
        gModePending = 1;
        return 1;
    }
    return 0;
}

int hl_nearest_display_mode(int monitor, int width, int height, int* bits, int* hz)
{
    int count = PLAT_display_mode_count(monitor);
    // Another depth counts for more than any refresh rate; the first listed wins a tie.
    auto distance = [&](int b, int r) { return (b != *bits ? 1000000 : 0) + abs(r - *hz); };
    int found = 0, best_bits = 0, best_hz = 0;
    for (int i = 0; i < count; ++i) {
        PLAT_display_mode m;
        if (PLAT_display_mode_at(monitor, i, &m) != 0 || m.width != width || m.height != height) continue;
        if (found && distance(m.bits, m.hz) >= distance(best_bits, best_hz)) continue;
        found = 1;
        best_bits = m.bits;
        best_hz = m.hz;
    }
    if (found) {
        *bits = best_bits;
        *hz = best_hz;
    }
    return found;
}

void hl_restore_display_mode(int monitor)
{
    if (monitor != 0) return;
    gModePending = 0;
    PLAT_window* main = gWindows.window[0];
    if (main && PLAT_window_is_fullscreen(main)) PLAT_window_set_fullscreen(main, nullptr);
}

int hl_pending_display_mode(int* width, int* height, int* bits, int* hz)
{
    if (!gModePending) return 0;
    if (width) *width = gPendingMode.width;
    if (height) *height = gPendingMode.height;
    if (bits) *bits = gPendingMode.bits;
    if (hz) *hz = gPendingMode.hz;
    return 1;
}

void (*gDisplayModeRefusedHook)() = nullptr;

void hl_apply_display_mode()
{
    PLAT_window* main = gWindows.window[0];
    if (!gModePending || !main || PLAT_window_set_fullscreen(main, &gPendingMode) == 0) return;
    gModePending = 0;
    if (gDisplayModeRefusedHook) gDisplayModeRefusedHook();
}

// Gives every existing window the style; a window not made yet is left alone.
static void restyle_windows(int bordered)
{
    for (int n = 0; n < 2; ++n) {
        PLAT_window* w = gWindows.window[n];
        if (!w) continue;
        PLAT_window_set_bordered(w, bordered);
        PLAT_show_window(w);
    }
}

static void move_window(int n, int x, int y, int w, int h)
{
    if (gWindows.window[n]) PLAT_window_set_client_rect(gWindows.window[n], x, y, w, h);
}

void hl_set_window_mode(int mode)
{
    if (mode == gFullScreen) return;
    if (mode == 2) mode = 1;
    gFullScreen = mode;

    if (mode == 1) {
        restyle_windows(0);
        int dw = 1024, dh = 768;
        hl_get_desktop_mode(&dw, &dh, nullptr, nullptr);
        if (gFullScreenW != 0 || gFullScreenH != 0) {
            hl_set_display_mode(0, gFullScreenW, gFullScreenH, gFullScreenBits, gFullScreenHz);
        } else {
            hl_restore_display_mode(0);
            hl_get_desktop_mode(&dw, &dh, &gColorBits, nullptr);
        }
        int w = gFullScreenW ? gFullScreenW : dw;
        int h = gFullScreenH ? gFullScreenH : dh;
        move_window(0, 0, 0, w, h);
        move_window(1, w, 0, w, h);
        return;
    }

    if (gFullScreenW != 0 || gFullScreenH != 0) hl_restore_display_mode(0);
    int mw = 1024, mh = 768;
    hl_get_desktop_mode(&mw, &mh, &gColorBits, nullptr);
    int dx = (mw - gWindowedW) / 2;
    int dy = (mh - gWindowedH) / 2;
    restyle_windows(mh > gWindowedH ? 1 : 0);
    if (!gQuit) {
        move_window(0, dx, dy, gWindowedW, gWindowedH);
        move_window(1, dx + gWindowedW, dy, gWindowedW, gWindowedH);
    }
}
